#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string_view>

#include "byte_source.h"
#include "bytes/window.h"

// What LineReader::next() found.
enum class Found {
  end,       // no line is left
  line,      // a whole line
  longLine,  // a line longer than the reader holds: its first bytes; the
             // rest comes from nextPiece()
};

// Splits a byte source into lines, read in large blocks. A line is its
// bytes up to and including its newline, or up to the end of the input for a
// last line without one; any byte, NUL included, is part of a line. A line
// is given whole while it is shorter than `mostHeld` bytes; a longer one is
// given in pieces, so that memory never grows past `mostHeld` and a block,
// whatever the lines hold. When the source fails, every line read before
// the failure is still given out; then next() (or nextPiece()) throws what
// the source threw, and the bytes after the last newline, a line the fault
// cut short, are never given whole: a long line's last piece is never given.
class LineReader {
 public:
  // The most bytes of one line held in memory: past it a line comes in pieces.
  static constexpr std::size_t kMostHeld = std::size_t{64} << 20;

  explicit LineReader(ByteSource& source, std::size_t blockSize = std::size_t{256} * 1024,
                      std::size_t mostHeld = kMostHeld);

  // Finds the next line: a whole line, valid until the following call, with
  // the window of its first 64 bytes, found on the way to its end; or the
  // first bytes of a long line, whose other bytes nextPiece() then gives up
  // to its end before next() may be called again.
  Found next(std::string_view& line, ByteWindow& window);

  // Gives the next piece of a long line, valid until the following call:
  // its last piece ends with the newline (or at the end of the input).
  // false once the line is complete.
  bool nextPiece(std::string_view& piece);

  // Where in the input the long line given last begins: how many bytes the
  // source gave before it.
  std::uint64_t longLineOffset() const { return longLineOffset_; }

 private:
  // Makes room for at least one more block after the pending bytes and reads
  // it; false at the end of the input, or when the source failed (kept in
  // failure_ for next() to throw once the lines before it are out).
  bool refill();

  ByteSource& source_;
  std::size_t blockSize_;
  std::size_t mostHeld_;
  std::size_t capacity_;
  // capacity_ bytes and a window's worth after them, so that a window may
  // be read at any byte; zeroed once, so no byte read is indeterminate.
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;    // the first byte not yet given out
  std::size_t scanned_ = 0;  // bytes from begin_ known to hold no newline
  std::size_t end_ = 0;      // the end of the bytes read
  bool atEnd_ = false;
  // Inside a long line, and whether its last piece has been given.
  bool inLongLine_ = false;
  bool longLineEnded_ = false;
  std::uint64_t consumed_ = 0;  // bytes the source has given
  std::uint64_t longLineOffset_ = 0;
  std::exception_ptr failure_;
};
