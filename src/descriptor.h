#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

// An open file descriptor that closes itself, so that no path out of its
// owner, an exception from a half-made constructor included, leaks it. Its
// own close is unchecked, for paths already failing; close() is the checked
// one.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool isOpen() const { return fd_ >= 0; }
  // Closes it; false when the close reports an error (a write the system
  // had deferred failed). An interrupted close has closed the descriptor.
  bool close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 || errno == EINTR;
  }

 private:
  int fd_ = -1;
};
