#include "messages.h"

std::string unableToOpenMessage(std::string_view name) {
  return "unable ot open " + std::string(name) + "\n";
}

std::string unableToReadMessage(std::string_view name) {
  return "unable to read " + std::string(name) + "\n";
}

std::string unableToWriteMessage(std::string_view name) {
  return "unable to write " + std::string(name) + "\n";
}

std::string outputIsInputMessage(std::string_view name) {
  return "error using tovlak: output " + std::string(name) + " is the input log\n";
}

std::string outputsAreOneFileMessage(std::string_view first, std::string_view second) {
  return "error using tovlak: outputs " + std::string(first) + " and " + std::string(second) +
         " are one file\n";
}

std::string compressedWithMessage(std::string_view logName, std::string_view format) {
  return "error using tovlak: " + std::string(logName) + " is compressed with " + std::string(format) +
         ", which tovlak cannot read\n";
}

std::string windowTooLargeMessage(std::string_view logName, std::uint64_t window, std::uint64_t most) {
  const auto mebibytes = [](std::uint64_t bytes) {
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
  };
  const std::string start = "error using tovlak: " + std::string(logName) + " needs a window ";
  if (window == 0) return start + "larger than the " + mebibytes(most) + " tovlak reads\n";
  return start + "of " + mebibytes(window) + " to decompress, more than the " + mebibytes(most) +
         " tovlak reads\n";
}

std::string indexOutsideMessage(std::string_view coordinate, std::uint64_t lineNumber, int dimensionLength) {
  return "error using tovlak: index " + std::string(coordinate) + " on line " + std::to_string(lineNumber) +
         " is outside 0 to " + std::to_string(dimensionLength - 1) + "\n";
}

std::string unexpectedFailureMessage(std::string_view what) {
  std::string line = "error using tovlak: unexpected failure";
  if (!what.empty()) line += ": " + std::string(what);
  // One line, whatever the description holds.
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line + "\n";
}

std::string codecFailureMessage(std::string_view library, std::string_view what) {
  return unexpectedFailureMessage(std::string(library) + " refused: " + std::string(what));
}
