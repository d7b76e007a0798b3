#include "split.h"

std::string indexOutsideMessage(std::string_view coordinate, std::uint64_t lineNumber, int dimensionLength) {
  return "error using tovlak: index " + std::string(coordinate) + " on line " + std::to_string(lineNumber) +
         " is outside 0 to " + std::to_string(dimensionLength - 1) + "\n";
}
