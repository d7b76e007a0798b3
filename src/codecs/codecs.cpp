#include <new>

#include "codec.h"

#ifndef TOVLAK_COMPRESSION
#define TOVLAK_COMPRESSION 1
#endif

#if TOVLAK_COMPRESSION
#include "isal_gzip.h"
#include "zstd_codec.h"

bool canDecode(LogFormat format) { return format == LogFormat::gzip || format == LogFormat::zstd; }

std::unique_ptr<ByteSource> makeDecoder(LogFormat format, ByteSource& log, const std::string& logName) {
  if (format == LogFormat::gzip) return isalGzipDecoder(log, logName);
  return zstdDecoder(log, logName);
}

std::unique_ptr<Encoder> makeEncoder(LogFormat format) {
  if (format == LogFormat::gzip) return isalGzipEncoder();
  return zstdEncoder();
}
#else
bool canDecode(LogFormat) { return false; }

// Never called: canDecode accepts no format.
std::unique_ptr<ByteSource> makeDecoder(LogFormat, ByteSource&, const std::string&) {
  throw std::bad_alloc();
}
std::unique_ptr<Encoder> makeEncoder(LogFormat) { throw std::bad_alloc(); }
#endif
