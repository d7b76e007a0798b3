#include "read_ahead.h"

#include <algorithm>
#include <cstring>

ReadAhead::ReadAhead(ByteSource& source, std::size_t blockSize, std::size_t blocks)
    : source_(source), blocks_(std::max<std::size_t>(blocks, 2)) {
  for (Block& block : blocks_) block.bytes.resize(blockSize);
  thread_ = std::thread([this] { work(); });
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

std::size_t ReadAhead::read(char* into, std::size_t capacity) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return filled_ > 0 || atEnd_; });
  if (filled_ == 0) {
    if (failure_) std::rethrow_exception(failure_);
    return 0;
  }
  Block& block = blocks_[first_];
  lock.unlock();
  // The reading thread touches no filled block until it is taken whole.
  const std::size_t size = std::min(capacity, block.size - block.taken);
  std::memcpy(into, block.bytes.data() + block.taken, size);
  block.taken += size;
  if (block.taken == block.size) {
    lock.lock();
    first_ = (first_ + 1) % blocks_.size();
    --filled_;
    lock.unlock();
    changed_.notify_all();
  }
  return size;
}

void ReadAhead::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || filled_ < blocks_.size(); });
    if (stopping_) return;
    Block& block = blocks_[(first_ + filled_) % blocks_.size()];
    lock.unlock();
    std::size_t size = 0;
    std::exception_ptr failure;
    try {
      size = source_.read(block.bytes.data(), block.bytes.size());
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (size == 0) {
      atEnd_ = true;
      failure_ = failure;
      changed_.notify_all();
      return;
    }
    block.size = size;
    block.taken = 0;
    ++filled_;
    changed_.notify_all();
  }
}
