#include "line_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "failure.h"

LogFile::LogFile(const std::string& name) : name_(name) {
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode))) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) throw Failure("unable ot open " + name + "\n");
}

LogFile::~LogFile() { ::close(fd_); }

std::size_t LogFile::read(char* into, std::size_t capacity) {
  for (;;) {
    const ssize_t got = ::read(fd_, into, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) throw Failure("unable to read " + name_ + "\n");
  }
}

std::size_t MemorySource::read(char* into, std::size_t capacity) {
  const std::size_t n = std::min(std::min(capacity, mostPerRead_), bytes_.size());
  std::memcpy(into, bytes_.data(), n);
  bytes_.remove_prefix(n);
  return n;
}

LineReader::LineReader(ByteSource& source, std::size_t blockSize)
    : source_(source), blockSize_(blockSize), capacity_(2 * blockSize), buffer_(new char[capacity_]) {}

bool LineReader::next(std::string_view& line) {
  for (;;) {
    const char* from = buffer_.get() + begin_ + scanned_;
    const auto* newline = static_cast<const char*>(std::memchr(from, '\n', end_ - begin_ - scanned_));
    if (newline) {
      const auto length = static_cast<std::size_t>(newline + 1 - (buffer_.get() + begin_));
      line = std::string_view(buffer_.get() + begin_, length);
      begin_ += length;
      scanned_ = 0;
      return true;
    }
    scanned_ = end_ - begin_;
    if (!atEnd_ && refill()) continue;
    if (begin_ == end_) return false;
    line = std::string_view(buffer_.get() + begin_, end_ - begin_);
    begin_ = end_;
    scanned_ = 0;
    return true;
  }
}

bool LineReader::refill() {
  const std::size_t pending = end_ - begin_;
  if (capacity_ - end_ < blockSize_) {
    if (pending + blockSize_ > capacity_) {
      // A line longer than the buffer: grow it, so the line stays whole.
      std::size_t grown = capacity_;
      while (pending + blockSize_ > grown) grown *= 2;
      std::unique_ptr<char[]> bigger(new char[grown]);
      std::memcpy(bigger.get(), buffer_.get() + begin_, pending);
      buffer_ = std::move(bigger);
      capacity_ = grown;
    } else {
      std::memmove(buffer_.get(), buffer_.get() + begin_, pending);
    }
    begin_ = 0;
    end_ = pending;
  }
  const std::size_t got = source_.read(buffer_.get() + end_, capacity_ - end_);
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  end_ += got;
  return true;
}
