#pragma once

// The byte primitives with NEON, sixteen bytes at a time, for 64-bit Arm in
// little-endian order. Included only where the compiler targets it.

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

#include "vector.h"
#include "window.h"

struct NeonLanes {
  using Vector = uint8x16_t;
  static constexpr std::size_t kBitsPerByte = 4;

  static Vector load(const char* p) { return vld1q_u8(reinterpret_cast<const std::uint8_t*>(p)); }
  static void store(char* p, Vector v) { vst1q_u8(reinterpret_cast<std::uint8_t*>(p), v); }
  static Vector repeated(char c) { return vdupq_n_u8(static_cast<std::uint8_t>(c)); }
  // Four bits per byte, set where byte i of `chunk` equals the byte `needle`
  // repeats: the comparison narrowed by half.
  static std::uint64_t matches(Vector chunk, Vector needle) {
    const uint8x16_t equal = vceqq_u8(chunk, needle);
    return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(equal), 4)), 0);
  }

  // As PortableBytes::windowAt.
  static ByteWindow windowAt(const char* bytes, std::size_t length) {
    const Vector chunks[4] = {load(bytes), load(bytes + 16), load(bytes + 32), load(bytes + 48)};
    ByteWindow window;
    window.newlines = bitsOf(chunks, '\n');
    window.opens = bitsOf(chunks, '(');
    window.commas = bitsOf(chunks, ',');
    window.closes = bitsOf(chunks, ')');
    window.keepFirst(length);
    return window;
  }

 private:
  // Bit i set where byte i of the 64 bytes equals `c`: each match keeps the
  // bit of its place within eight bytes, and three pairwise additions sum
  // every eight bytes into one.
  static std::uint64_t bitsOf(const Vector (&chunks)[4], char c) {
    static constexpr std::uint8_t kPlaces[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const Vector places = vld1q_u8(kPlaces);
    const Vector needle = repeated(c);
    Vector marked[4];
    for (std::size_t k = 0; k < 4; ++k) marked[k] = vandq_u8(vceqq_u8(chunks[k], needle), places);
    Vector sum = vpaddq_u8(vpaddq_u8(marked[0], marked[1]), vpaddq_u8(marked[2], marked[3]));
    sum = vpaddq_u8(sum, sum);
    return vgetq_lane_u64(vreinterpretq_u64_u8(sum), 0);
  }
};

using NeonBytes = VectorBytes<NeonLanes>;
