#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "byte_source.h"

// What a log is, told from its first bytes alone: never from its name.
enum class LogFormat { plain, gzip, zstd, xz, bzip2, lz4, lz4Legacy };

// How many first bytes tell every format apart, past any skippable frames.
inline constexpr std::size_t kFormatBytes = 10;
// The most bytes of skippable frames looked past at the start of a log; a log
// that begins with more is taken for zstd.
inline constexpr std::size_t kMostSkippedBytes = std::size_t{1} << 20;

// The format whose magic bytes `firstBytes` (the log's first bytes: any
// skippable frames and kFormatBytes after them, or all of a shorter log)
// begin with; plain for anything else. Skippable frames belong to zstd and
// lz4 alike: the frame after them decides, and zstd where none follows. No
// magic of a compressed format can begin a line of text.
LogFormat formatOf(std::string_view firstBytes);

// Where the skippable frames at the start of `bytes` end: 0 when it begins
// with none, and bytes.size() or more when the last is cut short.
std::uint64_t afterSkippableFrames(std::string_view bytes);

// The format's name as messages give it: "gzip", "zstd", "xz", …, "lz4
// (legacy format)".
const char* formatName(LogFormat format);

// A log whose first bytes have been read ahead to tell its format, and are
// handed out again, in front of the rest, by read().
class SniffedLog : public ByteSource {
 public:
  // Reads the first bytes of `log`; throws what its read throws.
  explicit SniffedLog(ByteSource& log);

  LogFormat format() const { return formatOf(first_); }
  std::size_t read(char* into, std::size_t capacity) override;

 private:
  // Reads until `first_` holds `size` bytes or the log ends.
  void readFirst(std::size_t size);

  ByteSource& log_;
  std::string first_;
  std::size_t handedOut_ = 0;
  std::exception_ptr failure_;  // from a read that had bytes to give first
};
