#pragma once

// The byte primitives in plain C++, eight bytes at a time in a 64-bit word:
// for every processor, and the reference the vector versions are tested
// against. Nothing here depends on the byte order: a word is assembled with
// its lowest byte from the first address, which compilers turn into one load
// (and a byte swap where the order is big-endian).

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "window.h"

struct PortableBytes {
  // The first position at or after `from` in `text` that holds `c`, or npos.
  // Never reads outside `text`.
  static std::size_t nextByte(std::string_view text, std::size_t from, char c) {
    if (from >= text.size()) return std::string_view::npos;
    const char* const begin = text.data();
    const char* p = begin + from;
    const char* const end = begin + text.size();
    const std::uint64_t needle = repeated(c);
    for (; end - p >= 8; p += 8) {
      const std::uint64_t word = load(p);
      const std::uint64_t found = matches(word, word & kLowSeven, needle);
      if (found != 0) return static_cast<std::size_t>(p - begin) + byteOfLowest(found);
      // Far from any match: the library's search, tuned for long stretches, takes over.
      if (p - (begin + from) >= 256) return libraryNextByte(text, static_cast<std::size_t>(p - begin) + 8, c);
    }
    for (; p < end; ++p) {
      if (*p == c) return static_cast<std::size_t>(p - begin);
    }
    return std::string_view::npos;
  }

  // The window of the 64 bytes at `bytes`, all of which must be readable; the
  // bits of byte `length` and after are clear.
  static ByteWindow windowAt(const char* bytes, std::size_t length) {
    ByteWindow window;
    const std::uint64_t newline = repeated('\n'), open = repeated('('), comma = repeated(','),
                        close = repeated(')');
    for (std::size_t k = 0; k < 8; ++k) {
      const std::uint64_t word = load(bytes + 8 * k);
      const std::uint64_t lowSeven = word & kLowSeven;  // shared by the four needles
      const std::size_t shift = 8 * k;
      window.newlines |= gathered(matches(word, lowSeven, newline)) << shift;
      window.opens |= gathered(matches(word, lowSeven, open)) << shift;
      window.commas |= gathered(matches(word, lowSeven, comma)) << shift;
      window.closes |= gathered(matches(word, lowSeven, close)) << shift;
    }
    window.keepFirst(length);
    return window;
  }

  // Copies `n` bytes, eight at a time; the ranges must not overlap.
  static void copyBytes(char* to, const char* from, std::size_t n) {
    if (n > 16) {
      // The last word overlaps the one before it rather than ending in a byte loop.
      const char* const last = from + n - 8;
      char* const lastTo = to + n - 8;
      for (; from < last; from += 8, to += 8) std::memcpy(to, from, 8);
      std::memcpy(lastTo, last, 8);
    } else if (n >= 8) {
      copyHeadAndTail<std::uint64_t>(to, from, n);
    } else if (n >= 4) {
      copyHeadAndTail<std::uint32_t>(to, from, n);
    } else {
      for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    }
  }

  // The search from `from` on, by the C library.
  static std::size_t libraryNextByte(std::string_view text, std::size_t from, char c) {
    if (from >= text.size()) return std::string_view::npos;
    const void* hit = std::memchr(text.data() + from, c, text.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data())
               : std::string_view::npos;
  }

 private:
  static constexpr std::uint64_t kLowSeven = 0x7f7f7f7f7f7f7f7f;

  // Copies `n` bytes, sizeof(Word) ≤ n ≤ 2 × sizeof(Word), as a head and a
  // tail word that overlap in the middle; both are read before either is
  // written.
  template <class Word>
  static void copyHeadAndTail(char* to, const char* from, std::size_t n) {
    Word head, tail;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
    std::memcpy(to, &head, sizeof head);
    std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
  }

  static std::uint64_t byteAt(const char* p, int i) {
    return std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
  }
  // The eight bytes at `p`, the first in the lowest byte of the word.
  static std::uint64_t load(const char* p) {
    return byteAt(p, 0) | byteAt(p, 1) | byteAt(p, 2) | byteAt(p, 3) | byteAt(p, 4) | byteAt(p, 5) |
           byteAt(p, 6) | byteAt(p, 7);
  }
  static std::uint64_t repeated(char c) {
    return std::uint64_t{0x0101010101010101} * static_cast<unsigned char>(c);
  }
  // The top bit of every byte of `word` that equals the byte `needle`
  // repeats, and no other bit; `lowSeven` is `word & kLowSeven`, computed
  // once for several needles. Exact: the sum cannot carry from one byte into
  // the next, so a match never marks its neighbour.
  static std::uint64_t matches(std::uint64_t word, std::uint64_t lowSeven, std::uint64_t needle) {
    return ~(((lowSeven ^ (needle & kLowSeven)) + kLowSeven) | (word ^ needle)) & ~kLowSeven;
  }
  // The top bits of the eight bytes as bits 0 to 7: each product term lands
  // on a bit of its own, so nothing carries.
  static std::uint64_t gathered(std::uint64_t topBits) { return ((topBits >> 7) * 0x0102040810204080) >> 56; }
  static std::size_t byteOfLowest(std::uint64_t topBits) {
    return static_cast<std::size_t>(std::countr_zero(topBits)) / 8;
  }
};
