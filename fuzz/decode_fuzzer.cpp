// Feeds arbitrary bytes as a compressed log to the decoder of the format its
// first bytes name, read in pieces of many sizes, and holds it to the
// library's own one-shot decompression (ISA-L's or zlib's for gzip, as the
// build reads gzip, and libzstd's): where that gives bytes, the decoder
// gives the same bytes and no failure; where that fails, the decoder fails.
#if TOVLAK_GZIP_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif
#include <zstd.h>
#include <zstd_errors.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/codec.h"
#include "failure.h"
#include "log_format.h"
#include "memory_source.h"

namespace {

constexpr std::size_t kMostOut = std::size_t{1} << 20;

enum class Oracle { decoded, failed, tooLarge };

#if TOVLAK_GZIP_ISAL
// Every gzip member in turn, each through ISA-L's one-shot inflate, then
// nothing but zero bytes. A member with a reserved flag set is refused, as
// gzip -d refuses it; ISA-L passes over them.
Oracle gzipOneShot(std::string_view log, std::string& out) {
  static std::vector<std::uint8_t> buffer(kMostOut);  // for every run: zeroing it takes longer than one
  while (!log.empty()) {
    if (log[0] == 0) {
      return log.find_first_not_of('\0') == std::string_view::npos ? Oracle::decoded : Oracle::failed;
    }
    if (log.size() >= 4 && (static_cast<unsigned char>(log[3]) & 0xe0) != 0) return Oracle::failed;
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ISAL_GZIP;
    state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(log.data()));
    state.avail_in = static_cast<std::uint32_t>(log.size());
    state.next_out = buffer.data();
    state.avail_out = static_cast<std::uint32_t>(buffer.size());
    const int result = isal_inflate_stateless(&state);
    if (result == ISAL_OUT_OVERFLOW) return Oracle::tooLarge;
    if (result != ISAL_DECOMP_OK) return Oracle::failed;
    out.append(reinterpret_cast<const char*>(buffer.data()), state.total_out);
    if (out.size() > kMostOut) return Oracle::tooLarge;
    log.remove_prefix(log.size() - state.avail_in);
  }
  return Oracle::decoded;
}
#else
// Every gzip member in turn, each inflated by zlib in one call, then nothing
// but zero bytes.
Oracle gzipOneShot(std::string_view log, std::string& out) {
  static std::vector<Bytef> buffer(kMostOut);  // for every run: zeroing it takes longer than one
  while (!log.empty()) {
    if (log[0] == 0) {
      return log.find_first_not_of('\0') == std::string_view::npos ? Oracle::decoded : Oracle::failed;
    }
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) std::abort();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(log.data()));
    stream.avail_in = static_cast<uInt>(log.size());
    stream.next_out = buffer.data();
    stream.avail_out = static_cast<uInt>(buffer.size());
    const int result = inflate(&stream, Z_FINISH);
    const std::size_t produced = stream.total_out;
    const std::size_t left = stream.avail_in;
    const bool full = stream.avail_out == 0;
    inflateEnd(&stream);
    if (result != Z_STREAM_END) return full && result == Z_BUF_ERROR ? Oracle::tooLarge : Oracle::failed;
    out.append(reinterpret_cast<const char*>(buffer.data()), produced);
    if (out.size() > kMostOut) return Oracle::tooLarge;
    log.remove_prefix(log.size() - left);
  }
  return Oracle::decoded;
}
#endif

// All frames at once, through libzstd's one-shot decompression.
Oracle zstdOneShot(std::string_view log, std::string& out) {
  out.resize(kMostOut);
  const std::size_t size = ZSTD_decompress(out.data(), out.size(), log.data(), log.size());
  if (ZSTD_isError(size) != 0) {
    return ZSTD_getErrorCode(size) == ZSTD_error_dstSize_tooSmall ? Oracle::tooLarge : Oracle::failed;
  }
  out.resize(size);
  return Oracle::decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view log(reinterpret_cast<const char*>(data), size);
  const LogFormat format = formatOf(log.substr(0, kFormatBytes));
  if (!canDecode(format)) return 0;
  std::string expected;
  const Oracle oracle = format == LogFormat::gzip ? gzipOneShot(log, expected) : zstdOneShot(log, expected);
  if (oracle == Oracle::tooLarge) return 0;

  MemorySource source(log, 1 + size % 61);
  const std::unique_ptr<ByteSource> decoder = makeDecoder(format, source, "fuzz.log");
  std::string got;
  bool failed = false;
  try {
    std::vector<char> block(4096);
    for (std::size_t piece = 1;; piece = (piece + 97) % block.size() + 1) {
      const std::size_t n = decoder->read(block.data(), piece);
      if (n == 0) break;
      got.append(block.data(), n);
      if (got.size() > kMostOut) std::abort();  // more than the one-shot gave
    }
  } catch (const Failure&) {
    failed = true;
  }
  if (failed != (oracle == Oracle::failed)) std::abort();
  if (!failed && got != expected) std::abort();
  return 0;
}
