#pragma once

#include <cstddef>

// Where the bytes of a log come from: the file, a decoder over it, a test's
// memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `capacity` bytes into `into`; returns 0 only at the end of the
  // input. Throws Failure when the input cannot be read.
  virtual std::size_t read(char* into, std::size_t capacity) = 0;
};
