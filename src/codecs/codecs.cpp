// The one place that chooses the codecs: a table of those the build has,
// each where its library was found (TOVLAK_GZIP, TOVLAK_ZSTD, TOVLAK_XZ,
// TOVLAK_BZIP2, TOVLAK_LZ4): gzip through ISA-L where the build has it
// (TOVLAK_GZIP_ISAL), else through zlib; zstd, xz, bzip2 and lz4 through
// their own libraries. A format missing from the table is refused.
#include <algorithm>
#include <iterator>

#include "codec.h"

#if !defined(TOVLAK_GZIP) || !defined(TOVLAK_ZSTD) || !defined(TOVLAK_XZ) || !defined(TOVLAK_BZIP2) || \
    !defined(TOVLAK_LZ4)
#error "TOVLAK_GZIP, TOVLAK_ZSTD, TOVLAK_XZ, TOVLAK_BZIP2 and TOVLAK_LZ4 must be 0 or 1"
#endif

#if TOVLAK_GZIP && TOVLAK_GZIP_ISAL
#include "isal_gzip.h"
#elif TOVLAK_GZIP
#include "zlib_gzip.h"
#endif
#if TOVLAK_ZSTD
#include "zstd_codec.h"
#endif
#if TOVLAK_XZ
#include "xz_codec.h"
#endif
#if TOVLAK_BZIP2
#include "bzip2_codec.h"
#endif
#if TOVLAK_LZ4
#include "lz4_codec.h"
#endif

namespace {

struct CodecEntry {
  LogFormat format;
  std::unique_ptr<ByteSource> (*decoder)(ByteSource& log, const std::string& logName);
  std::unique_ptr<Encoder> (*encoder)();
  std::size_t encoderMemory;  // what one encoder holds, roughly
};

// About what a light encoder holds (gzip, zstd at level 1, lz4).
constexpr std::size_t kSmall = std::size_t{1} << 20;

const CodecEntry kTable[] = {
#if TOVLAK_GZIP && TOVLAK_GZIP_ISAL
    {LogFormat::gzip, isalGzipDecoder, isalGzipEncoder, kSmall},
#elif TOVLAK_GZIP
    {LogFormat::gzip, zlibGzipDecoder, zlibGzipEncoder, kSmall},
#endif
#if TOVLAK_ZSTD
    {LogFormat::zstd, zstdDecoder, zstdEncoder, kSmall},
#endif
#if TOVLAK_XZ
    {LogFormat::xz, xzDecoder, xzEncoder, kXzEncoderMemory},
#endif
#if TOVLAK_BZIP2
    {LogFormat::bzip2, bzip2Decoder, bzip2Encoder, kBzip2EncoderMemory},
#endif
#if TOVLAK_LZ4
    {LogFormat::lz4, lz4Decoder, lz4Encoder, kSmall},
#endif
    // Plain logs need no codec; the row keeps the table whole in a build with none.
    {LogFormat::plain, nullptr, nullptr, kSmall},
};

const CodecEntry* entryOf(LogFormat format) {
  const auto* found = std::find_if(std::begin(kTable), std::end(kTable),
                                   [format](const CodecEntry& entry) { return entry.format == format; });
  return found == std::end(kTable) || found->decoder == nullptr ? nullptr : found;
}

}  // namespace

bool canDecode(LogFormat format) { return entryOf(format) != nullptr; }

std::unique_ptr<ByteSource> makeDecoder(LogFormat format, ByteSource& log, const std::string& logName) {
  const CodecEntry* entry = entryOf(format);
  return entry != nullptr ? entry->decoder(log, logName) : nullptr;
}

std::unique_ptr<Encoder> makeEncoder(LogFormat format) {
  const CodecEntry* entry = entryOf(format);
  return entry != nullptr ? entry->encoder() : nullptr;
}

std::size_t encoderMemory(LogFormat format) {
  const CodecEntry* entry = entryOf(format);
  return entry != nullptr ? entry->encoderMemory : kSmall;
}
