#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Every message the program writes to standard error, spelled here and
// nowhere else. Scripts match these texts, so each stays exactly as it is,
// misspellings included; every one ends with its newline.

inline const char* const kUsageMessage =
    "error using tovlak: tovlak -dLENGTH_OF_4TH_DIMESION -lLOG_FILE_NAME [-f]\n";
inline const char* const kInvalidLengthMessage = "error using tovlak: invalid length for fourth dimension\n";
inline const char* const kOutOfMemoryMessage = "error using tovlak: out of memory\n";

// The log or an output cannot be opened or created.
std::string unableToOpenMessage(std::string_view name);
// The log cannot be read.
std::string unableToReadMessage(std::string_view name);
// An output cannot be written or closed.
std::string unableToWriteMessage(std::string_view name);
// Output `name` is the log itself.
std::string outputIsInputMessage(std::string_view name);
// Outputs `first` and `second` are one file (hard or symbolic links).
std::string outputsAreOneFileMessage(std::string_view first, std::string_view second);
// The log is compressed with `format` (xz, bzip2, …), which this build
// cannot read.
std::string compressedWithMessage(std::string_view logName, std::string_view format);
// A compressed log whose window (`window` bytes, 0 when unknown) is larger
// than the `most` bytes tovlak reads.
std::string windowTooLargeMessage(std::string_view logName, std::uint64_t window, std::uint64_t most);
// A coordinate that names no output: `coordinate` as it stands in the line,
// `lineNumber` counted from 1, `dimensionLength` the N.
std::string indexOutsideMessage(std::string_view coordinate, std::uint64_t lineNumber, int dimensionLength);
// A failure that none of the messages above names (a thread the system would
// not start, say): `what` is its own description, put on one line.
std::string unexpectedFailureMessage(std::string_view what);
// A codec library refused what it was asked for, other than for memory.
std::string codecFailureMessage(std::string_view library, std::string_view what);
