#pragma once

#include <cstddef>

// Memory mapped for the output buffers. A page costs memory only once
// something is written to it, so outputs that get nothing cost nothing, and
// every buffer of a page or more starts on a page. Lines land in buffers all
// over the arena; where the system has large pages, they spare a page walk
// for nearly every line when there are thousands of outputs.
class BufferArena {
 public:
  // Maps `size` bytes; throws std::bad_alloc when it cannot.
  explicit BufferArena(std::size_t size);
  ~BufferArena();
  BufferArena(const BufferArena&) = delete;
  BufferArena& operator=(const BufferArena&) = delete;

  char* data() const { return data_; }

 private:
  char* data_;
  std::size_t size_;
};
