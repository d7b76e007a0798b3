#pragma once

// Searches and copies over the short stretches of bytes a log line is made
// of. This is the one place that chooses an implementation: the vector one
// for the processor the compiler targets, unless the build asks for none
// (TOVLAK_SIMD=0), and otherwise the portable one. Every implementation
// gives the same results for every input.

#include <cstddef>
#include <string_view>

#include "portable.h"
#include "window.h"

#ifndef TOVLAK_SIMD
#define TOVLAK_SIMD 1
#endif

#if TOVLAK_SIMD && defined(__SSE2__)
#include "sse2.h"
using Bytes = Sse2Bytes;
#define TOVLAK_VECTOR_BYTES 1
#elif TOVLAK_SIMD && defined(__aarch64__) && defined(__ARM_NEON) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#include "neon.h"
using Bytes = NeonBytes;
#define TOVLAK_VECTOR_BYTES 1
#else
using Bytes = PortableBytes;
#define TOVLAK_VECTOR_BYTES 0
#endif

// The first position at or after `from` in `text` that holds `c`, or npos.
// Inlined: the distances searched in a log line are short, and a library
// call per search costs more than the search. Never reads outside `text`.
inline std::size_t nextByte(std::string_view text, std::size_t from, char c) {
  return Bytes::nextByte(text, from, c);
}

// The window of the 64 bytes at `bytes`, all of which must be readable; the
// bits of byte `length` and after are clear.
inline ByteWindow windowAt(const char* bytes, std::size_t length) { return Bytes::windowAt(bytes, length); }

// Copies `n` bytes; for the short pieces of a log line it is faster than a
// library call. The ranges must not overlap.
inline void copyBytes(char* to, const char* from, std::size_t n) { Bytes::copyBytes(to, from, n); }

// The window of the first 64 bytes of `text`, which may be shorter.
inline ByteWindow windowOf(std::string_view text) {
  if (text.size() >= 64) return windowAt(text.data(), 64);
  char padded[64] = {};
  copyBytes(padded, text.data(), text.size());
  return windowAt(padded, text.size());
}
