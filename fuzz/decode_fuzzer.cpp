// Feeds arbitrary bytes as a compressed log to the decoder of the format its
// first bytes name, read in pieces of many sizes, and holds it to the
// library's own streaming decompression (ISA-L's or zlib's for gzip, as the
// build reads gzip, and libzstd's), with the limits zstd -d and gzip -d
// keep: the decoder gives exactly the bytes that gives, and fails where it
// fails, having first handed out every byte decoded before the fault.
#if TOVLAK_GZIP_ISAL
#include <isa-l/igzip_lib.h>
#else
#include <zlib.h>
#endif
#include <zstd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// What follows the last gzip member: nothing but zero bytes, or a failure.
Oracle gzipPadding(std::string_view rest) {
  return rest.find_first_not_of('\0') == std::string_view::npos ? Oracle::decoded : Oracle::failed;
}

#if TOVLAK_GZIP_ISAL
// Every gzip member in turn, each through ISA-L's streaming inflate given
// the rest of the log at once, then nothing but zero bytes; `out` gets what
// was decoded up to a fault. A member with a reserved flag set is refused,
// as gzip -d refuses it; ISA-L passes over them.
Oracle gzipStreaming(std::string_view log, std::string& out) {
  static std::vector<std::uint8_t> buffer(kMostOut);  // for every run: zeroing it takes longer than one
  while (!log.empty()) {
    if (log[0] == 0) return gzipPadding(log);
    if (log.size() >= 4 && (static_cast<unsigned char>(log[3]) & 0xe0) != 0) return Oracle::failed;
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ISAL_GZIP;
    state.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(log.data()));
    state.avail_in = static_cast<std::uint32_t>(log.size());
    state.next_out = buffer.data();
    state.avail_out = static_cast<std::uint32_t>(buffer.size());
    const int result = isal_inflate(&state);
    out.append(reinterpret_cast<const char*>(buffer.data()), state.next_out - buffer.data());
    if (state.avail_out == 0 || out.size() > kMostOut) return Oracle::tooLarge;
    // A fault, or a member cut short: all of the input taken, and no end.
    if (result != ISAL_DECOMP_OK || state.block_state != ISAL_BLOCK_FINISH) return Oracle::failed;
    log.remove_prefix(log.size() - state.avail_in);
  }
  return Oracle::decoded;
}
#else
// Every gzip member in turn, each through zlib's streaming inflate given the
// rest of the log at once, then nothing but zero bytes; `out` gets what was
// decoded up to a fault.
Oracle gzipStreaming(std::string_view log, std::string& out) {
  static std::vector<Bytef> buffer(kMostOut);  // for every run: zeroing it takes longer than one
  while (!log.empty()) {
    if (log[0] == 0) return gzipPadding(log);
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) std::abort();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(log.data()));
    stream.avail_in = static_cast<uInt>(log.size());
    stream.next_out = buffer.data();
    stream.avail_out = static_cast<uInt>(buffer.size());
    const int result = inflate(&stream, Z_NO_FLUSH);
    const std::size_t left = stream.avail_in;
    const bool full = stream.avail_out == 0;
    out.append(reinterpret_cast<const char*>(buffer.data()), stream.total_out);
    inflateEnd(&stream);
    if (full || out.size() > kMostOut) return Oracle::tooLarge;
    if (result != Z_STREAM_END) return Oracle::failed;  // a fault, or a member cut short
    log.remove_prefix(log.size() - left);
  }
  return Oracle::decoded;
}
#endif

// All frames through libzstd's streaming decompression, with its default
// limits (those of zstd -d: no window past 128 MiB), one byte of input at a
// time: a call that fails does not say what it wrote before the fault, and
// one byte can end a block or reveal a fault, never both. `out` gets what was
// decoded up to a fault.
Oracle zstdStreaming(std::string_view log, std::string& out) {
  static std::vector<char> buffer(kMostOut);
  ZSTD_DCtx* const context = ZSTD_createDCtx();
  if (context == nullptr) std::abort();
  ZSTD_outBuffer output{buffer.data(), buffer.size(), 0};
  std::size_t result = 0;
  Oracle oracle = Oracle::decoded;
  for (std::size_t at = 0; at < log.size() && oracle == Oracle::decoded; ++at) {
    ZSTD_inBuffer input{log.data() + at, 1, 0};
    result = ZSTD_decompressStream(context, &output, &input);
    if (ZSTD_isError(result) != 0) oracle = Oracle::failed;
    if (output.pos == output.size) oracle = Oracle::tooLarge;
  }
  if (oracle == Oracle::decoded && result != 0) oracle = Oracle::failed;  // a frame cut short
  out.assign(buffer.data(), output.pos);
  ZSTD_freeDCtx(context);
  return oracle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view log(reinterpret_cast<const char*>(data), size);
  const LogFormat format = formatOf(log.substr(0, kFormatBytes));
  if (!canDecode(format)) return 0;
  std::string expected;
  const Oracle oracle =
      format == LogFormat::gzip ? gzipStreaming(log, expected) : zstdStreaming(log, expected);
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
      if (got.size() > kMostOut) std::abort();  // more than the library gave
    }
  } catch (const Failure&) {
    failed = true;
  }
  // Failed or not, every byte before the fault.
  if (failed != (oracle == Oracle::failed) || got != expected) {
    static_cast<void>(std::fprintf(stderr, "decoder: %zu bytes, %s; library: %zu bytes, %s\n", got.size(),
                                   failed ? "failed" : "no failure", expected.size(),
                                   oracle == Oracle::failed ? "failed" : "no failure"));
    std::abort();
  }
  return 0;
}
