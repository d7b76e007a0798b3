#include "line_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "bytes/bytes.h"

namespace {

constexpr std::size_t kWindow = 64;

// A zeroed buffer of `size` bytes and a window more.
std::unique_ptr<char[]> newBuffer(std::size_t size) {
  return std::unique_ptr<char[]>(new char[size + kWindow]());
}

}  // namespace

LineReader::LineReader(ByteSource& source, std::size_t blockSize, std::size_t mostHeld)
    : source_(source),
      blockSize_(blockSize),
      mostHeld_(std::max(mostHeld, blockSize)),
      capacity_(std::min(2 * blockSize, mostHeld_ + blockSize)),
      buffer_(newBuffer(capacity_)) {}

Found LineReader::next(std::string_view& line, ByteWindow& window) {
  for (;;) {
    const std::size_t pending = end_ - begin_;
    // With fewer bytes than a window left, read more first, unless there are none.
    if (pending < kWindow && !atEnd_ && refill()) continue;
    if (pending == 0) {
      if (failure_) std::rethrow_exception(failure_);
      return Found::end;
    }
    const char* const start = buffer_.get() + begin_;
    window = windowAt(start, pending);
    std::size_t length = pending;  // a last line without a newline, unless one is found
    if (window.newlines != 0) {
      length = static_cast<std::size_t>(std::countr_zero(window.newlines)) + 1;
    } else {
      const std::size_t newline = nextByte({start, pending}, std::max(scanned_, kWindow), '\n');
      if (newline != std::string_view::npos) {
        length = newline + 1;
      } else if (!atEnd_ && pending >= mostHeld_) {
        // A line longer than the reader holds: what is here is its first piece.
        line = std::string_view(start, pending);
        longLineOffset_ = consumed_ - pending;
        begin_ = end_;
        scanned_ = 0;
        inLongLine_ = true;
        longLineEnded_ = false;
        return Found::longLine;
      } else if (!atEnd_) {
        scanned_ = pending;
        refill();
        continue;
      } else if (failure_) {
        std::rethrow_exception(failure_);  // the fault cut this line short
      }
    }
    window.keepFirst(length);
    line = std::string_view(start, length);
    begin_ += length;
    scanned_ = 0;
    return Found::line;
  }
}

bool LineReader::nextPiece(std::string_view& piece) {
  for (;;) {
    if (!inLongLine_ || longLineEnded_) {
      inLongLine_ = false;
      return false;
    }
    const std::size_t pending = end_ - begin_;
    if (pending == 0) {
      if (atEnd_) {
        if (failure_) std::rethrow_exception(failure_);  // the fault cut this line short
        inLongLine_ = false;
        return false;
      }
      refill();
      continue;
    }
    const char* const start = buffer_.get() + begin_;
    std::size_t length = pending;
    const std::size_t newline = nextByte({start, pending}, 0, '\n');
    if (newline != std::string_view::npos) {
      length = newline + 1;
      longLineEnded_ = true;
    }
    piece = std::string_view(start, length);
    begin_ += length;
    return true;
  }
}

bool LineReader::refill() {
  const std::size_t pending = end_ - begin_;
  if (capacity_ - end_ < blockSize_) {
    if (pending + blockSize_ > capacity_) {
      // A line longer than the buffer, but within what the reader holds:
      // grow the buffer, so the line stays whole, up to that bound and a
      // block (a line's first window may need more where the bound is tiny).
      // Past an eighth of the bound it goes to the bound at once: the old
      // buffer and the new are held together while the line moves, and the
      // half of the bound beside the bound would be memory no line needs.
      const std::size_t most = mostHeld_ + blockSize_;
      std::size_t grown = capacity_;
      while (pending + blockSize_ > grown) grown *= 2;
      if (grown > most / 8) grown = most;
      grown = std::max(grown, pending + blockSize_);
      std::unique_ptr<char[]> bigger = newBuffer(grown);
      std::memcpy(bigger.get(), buffer_.get() + begin_, pending);
      buffer_ = std::move(bigger);
      capacity_ = grown;
    } else {
      std::memmove(buffer_.get(), buffer_.get() + begin_, pending);
    }
    begin_ = 0;
    end_ = pending;
  }
  std::size_t got = 0;
  try {
    got = source_.read(buffer_.get() + end_, capacity_ - end_);
  } catch (...) {
    failure_ = std::current_exception();
  }
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  end_ += got;
  consumed_ += got;
  return true;
}
