#include "read_ahead.h"

#include <algorithm>
#include <cstring>
#include <utility>

ReadAhead::ReadAhead(std::shared_ptr<ByteSource> source, std::size_t blockSize, std::size_t blocks)
    : shared_(std::make_shared<Shared>()) {
  shared_->source = std::move(source);
  shared_->blocks.resize(std::max<std::size_t>(blocks, 2));
  for (Block& block : shared_->blocks) block.bytes.resize(blockSize);
  thread_ = std::thread([shared = shared_] { work(*shared); });
}

ReadAhead::~ReadAhead() {
  bool reading = false;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    reading = shared_->reading;
  }
  shared_->changed.notify_all();
  // A thread in a read owns what it reads from through its share, so it
  // may be left to end on its own.
  if (reading) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

std::size_t ReadAhead::read(char* into, std::size_t capacity) {
  Shared& s = *shared_;
  std::unique_lock lock(s.mutex);
  s.changed.wait(lock, [&s] { return s.filled > 0 || s.atEnd; });
  if (s.filled == 0) {
    if (s.failure) std::rethrow_exception(s.failure);
    return 0;
  }
  Block& block = s.blocks[s.first];
  lock.unlock();
  // The reading thread touches no filled block until it is taken whole.
  const std::size_t size = std::min(capacity, block.size - block.taken);
  std::memcpy(into, block.bytes.data() + block.taken, size);
  block.taken += size;
  if (block.taken == block.size) {
    lock.lock();
    s.first = (s.first + 1) % s.blocks.size();
    --s.filled;
    lock.unlock();
    s.changed.notify_all();
  }
  return size;
}

void ReadAhead::work(Shared& s) {
  std::unique_lock lock(s.mutex);
  for (;;) {
    s.changed.wait(lock, [&s] { return s.stopping || s.filled < s.blocks.size(); });
    if (s.stopping) return;
    Block& block = s.blocks[(s.first + s.filled) % s.blocks.size()];
    s.reading = true;
    lock.unlock();
    std::size_t size = 0;
    std::exception_ptr failure;
    try {
      size = s.source->read(block.bytes.data(), block.bytes.size());
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    s.reading = false;
    if (size == 0) {
      s.atEnd = true;
      s.failure = failure;
      s.changed.notify_all();
      return;
    }
    block.size = size;
    block.taken = 0;
    ++s.filled;
    s.changed.notify_all();
  }
}
