#include "buffer_arena.h"

#include <new>

#include "platform/platform.h"

BufferArena::BufferArena(std::size_t size) : data_(platform::mapMemory(size)), size_(size) {
  if (data_ == nullptr) throw std::bad_alloc();
}

BufferArena::~BufferArena() { platform::unmapMemory(data_, size_); }
