#pragma once

// The byte primitives with SSE2, sixteen bytes at a time (every x86-64
// processor, and 32-bit x86 built with -msse2). Included only where the
// compiler targets SSE2.

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

#include "vector.h"
#include "window.h"

struct Sse2Lanes {
  using Vector = __m128i;
  static constexpr std::size_t kBitsPerByte = 1;

  static Vector load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void store(char* p, Vector v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static Vector repeated(char c) { return _mm_set1_epi8(c); }
  // Bit i set where byte i of `chunk` equals the byte `needle` repeats.
  static std::uint64_t matches(Vector chunk, Vector needle) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle)));
  }

  // As PortableBytes::windowAt: each chunk is loaded once for the four needles.
  static ByteWindow windowAt(const char* bytes, std::size_t length) {
    ByteWindow window;
    const Vector newline = repeated('\n'), open = repeated('('), comma = repeated(','), close = repeated(')');
    for (std::size_t k = 0; k < 4; ++k) {
      const Vector chunk = load(bytes + 16 * k);
      window.newlines |= matches(chunk, newline) << (16 * k);
      window.opens |= matches(chunk, open) << (16 * k);
      window.commas |= matches(chunk, comma) << (16 * k);
      window.closes |= matches(chunk, close) << (16 * k);
    }
    window.keepFirst(length);
    return window;
  }
};

using Sse2Bytes = VectorBytes<Sse2Lanes>;
