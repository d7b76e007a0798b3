#pragma once

#include <utility>

#include "platform.h"

// An open file that closes itself, so that no path out of its owner, an
// exception from a half-made constructor included, leaks it. Its own close is
// unchecked, for paths already failing; close() is the checked one.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(platform::Handle handle) : handle_(handle) {}
  ~Descriptor() {
    if (isOpen()) platform::closeHandle(handle_);
  }
  Descriptor(Descriptor&& other) noexcept : handle_(std::exchange(other.handle_, platform::kNoHandle)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  platform::Handle get() const { return handle_; }
  bool isOpen() const { return handle_ != platform::kNoHandle; }
  // Closes it; false when the close reports an error.
  bool close() { return platform::closeHandle(std::exchange(handle_, platform::kNoHandle)); }

 private:
  platform::Handle handle_ = platform::kNoHandle;
};
