#pragma once

// The byte primitives with NEON, sixteen bytes at a time, for 64-bit Arm in
// little-endian order. Included only where the compiler targets it.

#include <arm_neon.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_window.h"
#include "bytes_portable.h"

struct NeonBytes {
  // As PortableBytes::nextByte.
  static std::size_t nextByte(std::string_view text, std::size_t from, char c) {
    if (from >= text.size()) return std::string_view::npos;
    const char* const begin = text.data();
    const char* p = begin + from;
    const char* const end = begin + text.size();
    const uint8x16_t needle = vdupq_n_u8(static_cast<std::uint8_t>(c));
    for (; end - p >= 16; p += 16) {
      // Four bits per byte: the comparison narrowed by half.
      const uint8x16_t equal = vceqq_u8(load(p), needle);
      const std::uint64_t nibbles =
          vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(equal), 4)), 0);
      if (nibbles != 0) {
        return static_cast<std::size_t>(p - begin) + static_cast<std::size_t>(std::countr_zero(nibbles)) / 4;
      }
      if (p - (begin + from) >= 256) {
        return PortableBytes::libraryNextByte(text, static_cast<std::size_t>(p - begin) + 16, c);
      }
    }
    return PortableBytes::nextByte(text, static_cast<std::size_t>(p - begin), c);
  }

  // As PortableBytes::windowAt.
  static ByteWindow windowAt(const char* bytes, std::size_t length) {
    const uint8x16_t chunks[4] = {load(bytes), load(bytes + 16), load(bytes + 32), load(bytes + 48)};
    ByteWindow window;
    window.newlines = bitsOf(chunks, '\n');
    window.opens = bitsOf(chunks, '(');
    window.commas = bitsOf(chunks, ',');
    window.closes = bitsOf(chunks, ')');
    window.keepFirst(length);
    return window;
  }

  // As PortableBytes::copyBytes, sixteen bytes at a time.
  static void copyBytes(char* to, const char* from, std::size_t n) {
    if (n < 16) {
      PortableBytes::copyBytes(to, from, n);
      return;
    }
    // The last chunk overlaps the one before it.
    const char* const last = from + n - 16;
    char* const lastTo = to + n - 16;
    for (; from < last; from += 16, to += 16) store(to, load(from));
    store(lastTo, load(last));
  }

 private:
  static uint8x16_t load(const char* p) { return vld1q_u8(reinterpret_cast<const std::uint8_t*>(p)); }
  static void store(char* p, uint8x16_t v) { vst1q_u8(reinterpret_cast<std::uint8_t*>(p), v); }

  // Bit i set where byte i of the 64 bytes equals `c`: each match keeps the
  // bit of its place within eight bytes, and three pairwise additions sum
  // every eight bytes into one.
  static std::uint64_t bitsOf(const uint8x16_t (&chunks)[4], char c) {
    static constexpr std::uint8_t kPlaces[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t places = vld1q_u8(kPlaces);
    const uint8x16_t needle = vdupq_n_u8(static_cast<std::uint8_t>(c));
    uint8x16_t marked[4];
    for (std::size_t k = 0; k < 4; ++k) marked[k] = vandq_u8(vceqq_u8(chunks[k], needle), places);
    uint8x16_t sum = vpaddq_u8(vpaddq_u8(marked[0], marked[1]), vpaddq_u8(marked[2], marked[3]));
    sum = vpaddq_u8(sum, sum);
    return vgetq_lane_u64(vreinterpretq_u64_u8(sum), 0);
  }
};
