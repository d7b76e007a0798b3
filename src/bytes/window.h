#pragma once

#include <cstddef>
#include <cstdint>

// Where the bytes a line's rewrite looks for stand among 64 bytes, one bit
// per byte, bit i for byte i.
struct ByteWindow {
  std::uint64_t newlines = 0;
  std::uint64_t opens = 0;
  std::uint64_t commas = 0;
  std::uint64_t closes = 0;

  // Clears the bits of byte `length` and after, which are not the line's.
  void keepFirst(std::size_t length) {
    if (length >= 64) return;
    const std::uint64_t kept = (std::uint64_t{1} << length) - 1;
    newlines &= kept;
    opens &= kept;
    commas &= kept;
    closes &= kept;
  }
};
