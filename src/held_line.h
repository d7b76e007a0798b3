#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

// A line longer than the line reader holds in memory, kept outside memory
// while the line is read to its end, so that memory stays flat whatever the
// line holds. A log that is a regular file holds its lines itself: they are
// read again from it by their offset. Otherwise each such line goes to a
// temporary file, made for it in `directory` (TMPDIR where set, else the
// outputs' directory) and gone from it as soon as it is open, so nothing
// is left behind even when the process is killed. Every write of a line
// comes before any read of it.
class HeldLine {
 public:
  explicit HeldLine(std::string directory);
  // Lines read again from `log`, a regular file named `logName`.
  HeldLine(platform::Handle log, std::string logName);
  ~HeldLine();
  HeldLine(const HeldLine&) = delete;
  HeldLine& operator=(const HeldLine&) = delete;

  // Begins a new line, empty, which begins at `offset` in the log; in a new
  // temporary file where the log cannot be read again. Throws Failure
  // ("unable to write NAME") when the file cannot be made.
  void start(std::uint64_t offset);
  // Adds bytes at the line's end. Throws Failure ("unable to write NAME")
  // when they cannot be written (a full disk).
  void append(std::string_view bytes);

  std::uint64_t size() const { return size_; }
  // Reads up to `capacity` bytes of the line from `offset` (below size())
  // into `into`; returns how many, at least 1. Throws Failure ("unable to
  // read NAME") when the bytes cannot be read back (the log cut short since
  // it was read).
  std::size_t read(std::uint64_t offset, char* into, std::size_t capacity) const;

  // Gives the bytes [begin, end) of the line to `take`, a piece at a time.
  template <class Take>
  void forEachPiece(std::uint64_t begin, std::uint64_t end, Take&& take) {
    while (begin < end) {
      const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - begin));
      const std::size_t got = read(begin, piece_.get(), wanted);
      take(std::string_view(piece_.get(), got));
      begin += got;
    }
  }

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 20;

  void close();

  std::string directory_;
  std::string path_;  // the temporary file's, or the log's
  platform::Handle file_ = platform::kNoHandle;
  bool ownsFile_ = true;      // a temporary file, not the log
  std::uint64_t offset_ = 0;  // where the line begins in the file
  std::uint64_t size_ = 0;
  std::unique_ptr<char[]> piece_;
};
