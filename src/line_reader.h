#pragma once

#include <cstddef>
#include <exception>
#include <memory>
#include <string_view>

#include "byte_source.h"
#include "bytes/window.h"

// Splits a byte source into whole lines, read in large blocks. A line is its
// bytes up to and including its newline, or up to the end of the input for a
// last line without one; any byte, NUL included, is part of a line. Memory
// grows with the longest line, never with the input. When the source fails,
// every whole line read before the failure is still given out; then next()
// throws what the source threw, and the bytes after the last newline, a line
// the fault cut short, are never given.
class LineReader {
 public:
  explicit LineReader(ByteSource& source, std::size_t blockSize = std::size_t{256} * 1024);

  // Gives the next line, valid until the following call, and the window of
  // its first 64 bytes, found on the way to its end; false at the end.
  bool next(std::string_view& line, ByteWindow& window);

 private:
  // Makes room for at least one more block after the pending bytes and reads
  // it; false at the end of the input, or when the source failed (kept in
  // failure_ for next() to throw once the lines before it are out).
  bool refill();

  ByteSource& source_;
  std::size_t blockSize_;
  std::size_t capacity_;
  // capacity_ bytes and a window's worth after them, so that a window may
  // be read at any byte; zeroed once, so no byte read is indeterminate.
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;    // the first byte not yet given out
  std::size_t scanned_ = 0;  // bytes from begin_ known to hold no newline
  std::size_t end_ = 0;      // the end of the bytes read
  bool atEnd_ = false;
  std::exception_ptr failure_;
};
