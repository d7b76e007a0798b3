// The one place that chooses the codecs: zstd through libzstd; gzip through
// ISA-L where the build has it (TOVLAK_GZIP_ISAL), else through zlib; none
// at all in a build without compression.
#include "codec.h"

// The build says which codecs it has (CMakeLists.txt): TOVLAK_COMPRESSION,
// and TOVLAK_GZIP_ISAL where it has compression.
#ifndef TOVLAK_COMPRESSION
#error "TOVLAK_COMPRESSION must be 0 or 1"
#endif

#if TOVLAK_COMPRESSION
#include "zstd_codec.h"
#if TOVLAK_GZIP_ISAL
#include "isal_gzip.h"
#else
#include "zlib_gzip.h"
#endif

bool canDecode(LogFormat format) { return format == LogFormat::gzip || format == LogFormat::zstd; }

std::unique_ptr<ByteSource> makeDecoder(LogFormat format, ByteSource& log, const std::string& logName) {
  if (format == LogFormat::zstd) return zstdDecoder(log, logName);
#if TOVLAK_GZIP_ISAL
  return isalGzipDecoder(log, logName);
#else
  return zlibGzipDecoder(log, logName);
#endif
}

std::unique_ptr<Encoder> makeEncoder(LogFormat format) {
  if (format == LogFormat::zstd) return zstdEncoder();
#if TOVLAK_GZIP_ISAL
  return isalGzipEncoder();
#else
  return zlibGzipEncoder();
#endif
}
#else
bool canDecode(LogFormat) { return false; }

// Never called: canDecode accepts no format.
std::unique_ptr<ByteSource> makeDecoder(LogFormat, ByteSource&, const std::string&) { return nullptr; }
std::unique_ptr<Encoder> makeEncoder(LogFormat) { return nullptr; }
#endif
