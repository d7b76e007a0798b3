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

// The window of the 64 bytes at `bytes`, all of which must be readable; the
// bits of byte `length` and after are clear.
inline ByteWindow windowAt(const char* bytes, std::size_t length) {
  ByteWindow window;
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n'), open = _mm_set1_epi8('('), comma = _mm_set1_epi8(','),
                close = _mm_set1_epi8(')');
  for (int k = 0; k < 4; ++k) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes) + k);
    const auto bits = [&](__m128i needle) {
      return static_cast<std::uint64_t>(
                 static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle))))
             << (16 * k);
    };
    window.newlines |= bits(newline);
    window.opens |= bits(open);
    window.commas |= bits(comma);
    window.closes |= bits(close);
  }
#else
  for (int i = 0; i < 64; ++i) {
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (bytes[i] == '\n') window.newlines |= bit;
    if (bytes[i] == '(') window.opens |= bit;
    if (bytes[i] == ',') window.commas |= bit;
    if (bytes[i] == ')') window.closes |= bit;
  }
#endif
  window.keepFirst(length);
  return window;
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

// The window of the first 64 bytes of `text`, which may be shorter.
inline ByteWindow windowOf(std::string_view text) {
  if (text.size() >= 64) return windowAt(text.data(), 64);
  char padded[64] = {};
  copyBytes(padded, text.data(), text.size());
  return windowAt(padded, text.size());
}
