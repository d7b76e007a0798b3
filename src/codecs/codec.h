#pragma once

// The compressed-log codecs, one file per library: isal_gzip (gzip through
// Intel's ISA-L), zlib_gzip (gzip through zlib, where ISA-L is missing),
// zstd_codec (libzstd), xz_codec (liblzma), bzip2_codec (libbz2) and
// lz4_codec (liblz4). codecs.cpp is the one place that
// chooses among them; a build has those whose libraries it was configured
// with, and reads and writes plain logs and those formats only. Each codec
// has a decoder, a ByteSource that gives the plain bytes of a whole
// compressed log, and an encoder, which makes one complete member or frame
// of one buffer, so that an output is a series of independent members that
// its format's tools read as one file.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "byte_source.h"
#include "log_format.h"

// The largest window (zstd) or dictionary (xz) a log is read with, as a power
// of two: 1 GiB where the address space is 64-bit, 128 MiB (zstd -d's own
// default) elsewhere.
inline constexpr int kMostWindowLog = sizeof(void*) >= 8 ? 30 : 27;

// Compresses one buffer at a time.
class Encoder {
 public:
  // The most bytes one member or frame is made of.
  static constexpr std::size_t kMostPlain = std::size_t{1} << 20;

  virtual ~Encoder() = default;
  // One complete gzip member, zstd or lz4 frame, or xz or bzip2 stream
  // holding `plain` (at most kMostPlain bytes, and possibly none); valid
  // until the next call. Throws std::bad_alloc when the library runs out of
  // memory.
  virtual std::string_view encode(std::string_view plain) = 0;
};

// Whether this build reads and writes logs of `format`.
bool canDecode(LogFormat format);

// The plain bytes of `log`, compressed as `format` (one canDecode accepts).
// Its read() throws Failure "unable to read NAME" (NAME: `logName`) when the
// log is truncated or corrupt, a checksum or length does not match, or
// bytes follow the last member or frame that are neither another one nor (for
// gzip) zero padding; it gives every byte decoded before the fault first.
std::unique_ptr<ByteSource> makeDecoder(LogFormat format, ByteSource& log, const std::string& logName);

// An encoder for outputs of `format` (one canDecode accepts).
std::unique_ptr<Encoder> makeEncoder(LogFormat format);

// About the memory one encoder of `format` holds, so that a run can bound
// what its encoders take together.
std::size_t encoderMemory(LogFormat format);
