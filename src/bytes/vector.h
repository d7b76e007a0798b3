#pragma once

// The byte search and copy of the vector implementations, written once over
// a `Lanes` type for one instruction set. Lanes gives a 16-byte `Vector`,
// load(p) and store(p, v) at any address, repeated(c), matches(chunk, needle)
// (a mask with kBitsPerByte bits per byte, lowest for the first byte, set
// where the bytes are equal) and windowAt, which differs too much between
// instruction sets to share.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "portable.h"
#include "window.h"

template <class Lanes>
struct VectorBytes {
  // As PortableBytes::nextByte, sixteen bytes at a time.
  static std::size_t nextByte(std::string_view text, std::size_t from, char c) {
    if (from >= text.size()) return std::string_view::npos;
    const char* const begin = text.data();
    const char* p = begin + from;
    const char* const end = begin + text.size();
    const typename Lanes::Vector needle = Lanes::repeated(c);
    for (; end - p >= 16; p += 16) {
      const std::uint64_t found = Lanes::matches(Lanes::load(p), needle);
      if (found != 0) {
        return static_cast<std::size_t>(p - begin) +
               static_cast<std::size_t>(std::countr_zero(found)) / Lanes::kBitsPerByte;
      }
      // Far from any match: the library's search, tuned for long stretches, takes over.
      if (p - (begin + from) >= 256) {
        return PortableBytes::libraryNextByte(text, static_cast<std::size_t>(p - begin) + 16, c);
      }
    }
    return PortableBytes::nextByte(text, static_cast<std::size_t>(p - begin), c);
  }

  // As PortableBytes::windowAt.
  static ByteWindow windowAt(const char* bytes, std::size_t length) { return Lanes::windowAt(bytes, length); }

  // As PortableBytes::copyBytes, sixteen bytes at a time.
  static void copyBytes(char* to, const char* from, std::size_t n) {
    if (n < 16) {
      PortableBytes::copyBytes(to, from, n);
      return;
    }
    // The last chunk overlaps the one before it.
    const char* const last = from + n - 16;
    char* const lastTo = to + n - 16;
    for (; from < last; from += 16, to += 16) Lanes::store(to, Lanes::load(from));
    Lanes::store(lastTo, Lanes::load(last));
  }
};
