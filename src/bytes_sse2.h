#pragma once

// The byte primitives with SSE2, sixteen bytes at a time (every x86-64
// processor, and 32-bit x86 built with -msse2). Included only where the
// compiler targets SSE2.

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "byte_window.h"
#include "bytes_portable.h"

struct Sse2Bytes {
  // As PortableBytes::nextByte.
  static std::size_t nextByte(std::string_view text, std::size_t from, char c) {
    if (from >= text.size()) return std::string_view::npos;
    const char* const begin = text.data();
    const char* p = begin + from;
    const char* const end = begin + text.size();
    const __m128i needle = _mm_set1_epi8(c);
    for (; end - p >= 16; p += 16) {
      const int found = matchBits(load(p), needle);
      if (found != 0) {
        return static_cast<std::size_t>(p - begin) +
               static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(found)));
      }
      if (p - (begin + from) >= 256) {
        return PortableBytes::libraryNextByte(text, static_cast<std::size_t>(p - begin) + 16, c);
      }
    }
    return PortableBytes::nextByte(text, static_cast<std::size_t>(p - begin), c);
  }

  // As PortableBytes::windowAt.
  static ByteWindow windowAt(const char* bytes, std::size_t length) {
    ByteWindow window;
    const __m128i newline = _mm_set1_epi8('\n'), open = _mm_set1_epi8('('), comma = _mm_set1_epi8(','),
                  close = _mm_set1_epi8(')');
    for (std::size_t k = 0; k < 4; ++k) {
      const __m128i chunk = load(bytes + 16 * k);
      const auto bits = [&](__m128i needle) {
        return std::uint64_t{static_cast<unsigned>(matchBits(chunk, needle))} << (16 * k);
      };
      window.newlines |= bits(newline);
      window.opens |= bits(open);
      window.commas |= bits(comma);
      window.closes |= bits(close);
    }
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
  static __m128i load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void store(char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  // Bit i set where byte i of `chunk` equals the byte `needle` repeats.
  static int matchBits(__m128i chunk, __m128i needle) {
    return _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle));
  }
};
