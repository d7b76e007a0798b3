#pragma once

// Searches and copies over the short stretches of bytes a log line is made of.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The first position at or after `from` in `text` that holds `c`, or npos.
// Inlined and sixteen bytes at a time: the distances searched in a log line
// are short, and a library call per search costs more than the search.
// Never reads outside `text`.
inline std::size_t nextByte(std::string_view text, std::size_t from, char c) {
  if (from >= text.size()) return std::string_view::npos;
  const char* const begin = text.data();
  const char* p = begin + from;
  const char* const end = begin + text.size();
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi8(c);
  for (; end - p >= 16; p += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle));
    if (mask != 0) return static_cast<std::size_t>(p - begin) + static_cast<std::size_t>(__builtin_ctz(mask));
    // Far from any match: the library's wider search takes over.
    if (p - (begin + from) >= 256) {
      const void* hit = std::memchr(p + 16, c, static_cast<std::size_t>(end - p - 16));
      return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - begin) : std::string_view::npos;
    }
  }
#endif
  for (; p < end; ++p) {
    if (*p == c) return static_cast<std::size_t>(p - begin);
  }
  return std::string_view::npos;
}

// Copies `n` bytes; for the short pieces of a log line it is faster than a
// library call. The ranges must not overlap.
inline void copyBytes(char* to, const char* from, std::size_t n) {
#if defined(__SSE2__)
  if (n >= 16) {
    // Sixteen bytes at a time, the last chunk overlapping the one before.
    const char* const last = from + n - 16;
    char* const lastTo = to + n - 16;
    for (; from < last; from += 16, to += 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lastTo),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(last)));
    return;
  }
#endif
  if (n >= 8) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else {
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}
