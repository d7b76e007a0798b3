#pragma once

#include <cstddef>
#include <new>
#include <vector>

// A table of one `Entry` for each of `count` outputs; throws std::bad_alloc,
// as for any other allocation, when it cannot be held (a 32-bit system asked
// for billions of outputs), where std::vector would throw std::length_error.
template <class Entry>
std::vector<Entry> outputTable(int count) {
  if (static_cast<std::size_t>(count) > std::vector<Entry>().max_size()) throw std::bad_alloc();
  return std::vector<Entry>(static_cast<std::size_t>(count));
}
