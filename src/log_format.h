#pragma once

#include <cstddef>
#include <exception>
#include <string_view>

#include "byte_source.h"

// What a log is, told from its first bytes alone: never from its name.
enum class LogFormat { plain, gzip, zstd, xz, bzip2, lz4 };

// How many first bytes tell every format apart.
inline constexpr std::size_t kFormatBytes = 10;

// The format whose magic bytes `firstBytes` (the log's first kFormatBytes
// bytes, or all of a shorter log) begin with; plain for anything else. No
// magic of a compressed format can begin a line of text.
LogFormat formatOf(std::string_view firstBytes);

// The format's name as messages give it: "gzip", "zstd", "xz", …
const char* formatName(LogFormat format);

// A log whose first bytes have been read ahead to tell its format, and are
// handed out again, in front of the rest, by read().
class SniffedLog : public ByteSource {
 public:
  // Reads the first bytes of `log`; throws what its read throws.
  explicit SniffedLog(ByteSource& log);

  LogFormat format() const { return formatOf({first_, firstSize_}); }
  std::size_t read(char* into, std::size_t capacity) override;

 private:
  ByteSource& log_;
  char first_[kFormatBytes];
  std::size_t firstSize_ = 0;
  std::size_t handedOut_ = 0;
  std::exception_ptr failure_;  // from a read that had bytes to give first
};
