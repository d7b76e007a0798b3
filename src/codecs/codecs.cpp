// The one place that chooses the codecs: zstd through libzstd; gzip through
// ISA-L where the build has it (TOVLAK_GZIP_ISAL), else through zlib. A
// build has each where its library was found (TOVLAK_GZIP, TOVLAK_ZSTD), and
// refuses logs of the one it lacks.
#include "codec.h"

#if !defined(TOVLAK_GZIP) || !defined(TOVLAK_ZSTD)
#error "TOVLAK_GZIP and TOVLAK_ZSTD must be 0 or 1"
#endif

#if TOVLAK_ZSTD
#include "zstd_codec.h"
#endif
#if TOVLAK_GZIP && TOVLAK_GZIP_ISAL
#include "isal_gzip.h"
#elif TOVLAK_GZIP
#include "zlib_gzip.h"
#endif

bool canDecode(LogFormat format) {
  return (TOVLAK_GZIP && format == LogFormat::gzip) || (TOVLAK_ZSTD && format == LogFormat::zstd);
}

// Both are called only for a format canDecode accepts.
std::unique_ptr<ByteSource> makeDecoder([[maybe_unused]] LogFormat format, [[maybe_unused]] ByteSource& log,
                                        [[maybe_unused]] const std::string& logName) {
#if TOVLAK_ZSTD
  if (format == LogFormat::zstd) return zstdDecoder(log, logName);
#endif
#if TOVLAK_GZIP && TOVLAK_GZIP_ISAL
  if (format == LogFormat::gzip) return isalGzipDecoder(log, logName);
#elif TOVLAK_GZIP
  if (format == LogFormat::gzip) return zlibGzipDecoder(log, logName);
#endif
  return nullptr;
}

std::unique_ptr<Encoder> makeEncoder([[maybe_unused]] LogFormat format) {
#if TOVLAK_ZSTD
  if (format == LogFormat::zstd) return zstdEncoder();
#endif
#if TOVLAK_GZIP && TOVLAK_GZIP_ISAL
  if (format == LogFormat::gzip) return isalGzipEncoder();
#elif TOVLAK_GZIP
  if (format == LogFormat::gzip) return zlibGzipEncoder();
#endif
  return nullptr;
}
