// Feeds arbitrary bytes as a compressed log to the decoder of the format its
// first bytes name, in one read and in pieces of many sizes, and holds it to
// the libraries' own streaming decompression (zlib's for gzip, whichever
// library the build reads gzip with; libzstd's, liblzma's, libbz2's and
// liblz4's), fed a byte at a time so that they give every byte they can
// before a fault, with the limits that their tools keep: the decoder fails
// where that fails, and gives the bytes that gives.
#if TOVLAK_GZIP
#include <zlib.h>
#endif
#if TOVLAK_ZSTD
#include <zstd.h>
#endif
#if TOVLAK_XZ
#include <lzma.h>
#endif
#if TOVLAK_BZIP2
#include <bzlib.h>
#endif
#if TOVLAK_LZ4
#include <lz4frame.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/codec.h"
#if TOVLAK_BZIP2
#include "codecs/bzip2_codec.h"
#endif
#if TOVLAK_XZ
#include "codecs/xz_codec.h"
#endif
#include "failure.h"
#include "log_format.h"
#include "memory_source.h"

namespace {

constexpr std::size_t kMostOut = std::size_t{1} << 20;

// failedOnCodes: zlib refused a block's Huffman code lengths (an incomplete
// or oversubscribed set, or no end-of-block code).
enum class Oracle { decoded, failed, failedOnCodes, tooLarge };

#if TOVLAK_GZIP
// zlib's messages for a set of code lengths it refuses, which ISA-L builds
// its tables from all the same.
bool isCodeSetFault(const char* message) {
  if (message == nullptr) return false;
  const std::string_view m(message);
  return m == "invalid code lengths set" || m == "invalid literal/lengths set" ||
         m == "invalid distances set" || m == "invalid code -- missing end-of-block";
}

// Every gzip member in turn, each through zlib's streaming inflate given the
// rest of the log at once, then nothing but zero bytes; `out` gets what was
// decoded up to a fault. zlib reads a member's header as gzip -d does
// (reserved flags and a wrong header CRC refused), whichever library the
// build reads gzip with.
Oracle gzipStreaming(std::string_view log, std::string& out) {
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
    const int result = inflate(&stream, Z_NO_FLUSH);
    const std::size_t left = stream.avail_in;
    const bool full = stream.avail_out == 0;
    const bool codeSet = result == Z_DATA_ERROR && isCodeSetFault(stream.msg);
    out.append(reinterpret_cast<const char*>(buffer.data()), stream.total_out);
    inflateEnd(&stream);
    if (full || out.size() > kMostOut) return Oracle::tooLarge;
    if (codeSet) return Oracle::failedOnCodes;
    if (result != Z_STREAM_END) return Oracle::failed;  // a fault, or a member cut short
    log.remove_prefix(log.size() - left);
  }
  return Oracle::decoded;
}
#endif

#if TOVLAK_ZSTD
// All frames through libzstd's streaming decompression, with the window
// tovlak allows (1 GiB on 64-bit systems), one byte of input at a
// time: a call that fails does not say what it wrote before the fault, and
// one byte can end a block or reveal a fault, never both. `out` gets what was
// decoded up to a fault.
Oracle zstdStreaming(std::string_view log, std::string& out) {
  static std::vector<char> buffer(kMostOut);
  ZSTD_DCtx* const context = ZSTD_createDCtx();
  if (context == nullptr ||
      ZSTD_isError(ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, kMostWindowLog)) != 0) {
    std::abort();
  }
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
#endif

#if TOVLAK_XZ
// Every stream through liblzma's streaming decompression, `piece` bytes of
// input at a time, with the decoder's own flags and memory limit. liblzma
// counts what it wrote before a fault, but where it sees a fault depends on
// the input it has: given little at a time, it can stop short of what it
// decodes given all (an LZMA2 chunk's bytes past its end are seen as they
// come, before the chunk's output is all out).
Oracle xzStreaming(std::string_view log, std::string& out, std::size_t piece) {
  static std::vector<std::uint8_t> buffer(kMostOut);
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&stream, kMostXzDecoderMemory, LZMA_CONCATENATED | LZMA_TELL_UNSUPPORTED_CHECK) !=
      LZMA_OK) {
    std::abort();
  }
  stream.next_out = buffer.data();
  stream.avail_out = buffer.size();
  lzma_ret result = LZMA_OK;
  for (std::size_t at = 0; at < log.size() && result == LZMA_OK && stream.avail_out > 0; at += piece) {
    stream.next_in = reinterpret_cast<const std::uint8_t*>(log.data() + at);
    stream.avail_in = std::min(piece, log.size() - at);
    while (result == LZMA_OK && stream.avail_in > 0 && stream.avail_out > 0) {
      result = lzma_code(&stream, LZMA_RUN);
    }
  }
  // The end of the log, until liblzma has nothing more to give (LZMA_BUF_ERROR: cut short).
  while (result == LZMA_OK && stream.avail_out > 0) result = lzma_code(&stream, LZMA_FINISH);
  out.assign(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
  const bool full = stream.avail_out == 0;
  lzma_end(&stream);
  if (full) return Oracle::tooLarge;
  return result == LZMA_STREAM_END ? Oracle::decoded : Oracle::failed;
}
#endif

#if TOVLAK_BZIP2
// Every stream through libbz2's streaming decompression, one byte of input
// at a time and one byte of output per call: libbz2 does not count what a
// call wrote of a block it then finds corrupt, so a byte per call is what
// gives every byte it can. After the last stream, the log must end.
Oracle bzip2Streaming(std::string_view log, std::string& out) {
  static std::vector<char> buffer(kMostOut);
  bz_stream stream{};
  bool inStream = false;
  int result = BZ_OK;
  std::size_t produced = 0;
  for (std::size_t at = 0; at < log.size() && (result == BZ_OK || result == BZ_STREAM_END); ++at) {
    if (!inStream) {
      stream = bz_stream{};
      if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) std::abort();
      inStream = true;
    }
    stream.next_in = const_cast<char*>(log.data() + at);
    stream.avail_in = 1;
    std::size_t gave = 0;
    do {
      stream.next_out = buffer.data() + produced;
      stream.avail_out = produced < buffer.size() ? 1 : 0;
      result = BZ2_bzDecompress(&stream);
      gave = static_cast<std::size_t>(stream.next_out - buffer.data()) - produced;
      produced += gave;
    } while (result == BZ_OK && gave > 0 && produced < buffer.size());
    if (produced == buffer.size()) break;
    if (result == BZ_STREAM_END) {
      BZ2_bzDecompressEnd(&stream);
      inStream = false;
    }
  }
  if (inStream) BZ2_bzDecompressEnd(&stream);
  out.assign(buffer.data(), produced);
  if (produced == buffer.size()) return Oracle::tooLarge;
  return !inStream && result == BZ_STREAM_END ? Oracle::decoded : Oracle::failed;
}
#endif

#if TOVLAK_LZ4
// Every frame through liblz4's streaming decompression, one byte of input at
// a time.
Oracle lz4Streaming(std::string_view log, std::string& out) {
  static std::vector<char> buffer(kMostOut);
  LZ4F_dctx* context = nullptr;
  if (LZ4F_isError(LZ4F_createDecompressionContext(&context, LZ4F_VERSION)) != 0) std::abort();
  std::size_t produced = 0, hint = 0;
  Oracle oracle = Oracle::decoded;
  for (std::size_t at = 0; at < log.size() && oracle == Oracle::decoded; ++at) {
    std::size_t taken = 1, room = buffer.size() - produced;
    hint = LZ4F_decompress(context, buffer.data() + produced, &room, log.data() + at, &taken, nullptr);
    if (LZ4F_isError(hint) != 0) oracle = Oracle::failed;
    produced += LZ4F_isError(hint) != 0 ? 0 : room;
    if (produced == buffer.size()) oracle = Oracle::tooLarge;
  }
  if (oracle == Oracle::decoded && hint != 0) oracle = Oracle::failed;  // a frame cut short
  LZ4F_freeDecompressionContext(context);
  out.assign(buffer.data(), produced);
  return oracle;
}
#endif

// The library's own decompression of `log` of `format`.
Oracle streaming(LogFormat format, std::string_view log, std::string& out) {
  switch (format) {
#if TOVLAK_GZIP
    case LogFormat::gzip:
      return gzipStreaming(log, out);
#endif
#if TOVLAK_ZSTD
    case LogFormat::zstd:
      return zstdStreaming(log, out);
#endif
#if TOVLAK_XZ
    case LogFormat::xz:
      return xzStreaming(log, out, SIZE_MAX);
#endif
#if TOVLAK_BZIP2
    case LogFormat::bzip2:
      return bzip2Streaming(log, out);
#endif
#if TOVLAK_LZ4
    case LogFormat::lz4:
      return lz4Streaming(log, out);
#endif
    default:
      std::abort();
  }
}

// Decodes `log` read at most `mostPerRead` bytes at a time, into reads of
// `piece` bytes (0: of many sizes in turn), and aborts where it differs from
// what the library gave: the failure, and the bytes; where both failed,
// bytes that agree with the library's as far as both go, at most `slack`
// short of them, and longer only where `onPastCodes` and zlib refused a set
// of code lengths.
void decodeAndCompare(LogFormat format, std::string_view log, std::size_t mostPerRead, std::size_t piece,
                      Oracle oracle, const std::string& expected, std::size_t slack, bool onPastCodes) {
  MemorySource source(log, mostPerRead);
  std::string got;
  bool failed = false;
  try {
    // A decoder may refuse the log as it starts (a zstd window too large).
    const std::unique_ptr<ByteSource> decoder = makeDecoder(format, source, "fuzz.log");
    std::vector<char> block(piece == 0 ? 4096 : piece);
    for (std::size_t size = piece == 0 ? 1 : piece;;) {
      const std::size_t n = decoder->read(block.data(), size);
      if (n == 0) break;
      got.append(block.data(), n);
      if (got.size() > kMostOut) std::abort();  // more than the library gave
      if (piece == 0) size = (size + 97) % block.size() + 1;
    }
  } catch (const Failure&) {
    failed = true;
  }
  const bool libraryFailed = oracle == Oracle::failed || oracle == Oracle::failedOnCodes;
  const std::size_t common = std::min(got.size(), expected.size());
  const bool agree = got.compare(0, common, expected, 0, common) == 0;
  const bool sameBytes = !failed ? got == expected
                         : got.size() <= expected.size()
                             ? agree && expected.size() - got.size() <= slack
                             : agree && onPastCodes && oracle == Oracle::failedOnCodes;
  if (failed != libraryFailed || !sameBytes) {
    static_cast<void>(std::fprintf(stderr, "decoder (reads of %zu): %zu bytes, %s; library: %zu bytes, %s\n",
                                   mostPerRead, got.size(), failed ? "failed" : "no failure", expected.size(),
                                   libraryFailed ? "failed" : "no failure"));
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view log(reinterpret_cast<const char*>(data), size);
  const LogFormat format = formatOf(log.substr(0, kFormatBytes));
  if (!canDecode(format)) return 0;
  std::string expected;
  const Oracle oracle = streaming(format, log, expected);
  if (oracle == Oracle::tooLarge) return 0;
  // zlib and libzstd give every byte before a fault, whatever the pieces.
  // ISA-L holds some back: from corrupt data, the last match (see its
  // decoder), and, read in small pieces, bytes it decoded from input it may
  // yet need when it meets the fault. And it builds its tables from sets of
  // code lengths that zlib refuses (incomplete ones), so on such a block it
  // decodes on until a symbol it has no code for, or the member's CRC, shows
  // the damage: its bytes then run past zlib's, which they agree with.
  const bool isal = format == LogFormat::gzip && TOVLAK_GZIP_ISAL != 0;
  constexpr std::size_t kLongestMatch = 258;
  // liblzma sees damage sooner or later by where its input and output are
  // cut (see xzStreaming): given the log in one piece, as the decoder is in
  // one read, it is exact; in pieces, the decoder's bytes are the first of
  // the whole log's, and at most a few hundred fewer than liblzma gives fed
  // a byte at a time (kXzMostUnseen, a bound seen by fuzzing, not proven).
  std::size_t inPieces = isal ? SIZE_MAX : 0;
#if TOVLAK_XZ
  constexpr std::size_t kXzMostUnseen = 4096;
  if (format == LogFormat::xz) {
    std::string byteAtATime;
    if (xzStreaming(log, byteAtATime, 1) != oracle || !expected.starts_with(byteAtATime)) std::abort();
    inPieces = expected.size() - byteAtATime.size() + kXzMostUnseen;
  }
#endif
#if TOVLAK_BZIP2
  // The decoder asks libbz2 for at most kBzip2MostPerCall bytes a call; what
  // the call that finds a block corrupt wrote is not counted, so not given.
  if (format == LogFormat::bzip2) inPieces = kBzip2MostPerCall - 1;
#endif
  // The log in one read and room for all of it, as the library had it.
  decodeAndCompare(format, log, SIZE_MAX, kMostOut + 1, oracle, expected,
                   isal                         ? kLongestMatch
                   : format == LogFormat::bzip2 ? inPieces
                                                : 0,
                   isal);
  // The log and the output in pieces of many sizes.
  decodeAndCompare(format, log, 1 + size % 61, 0, oracle, expected, inPieces, isal);
  return 0;
}
