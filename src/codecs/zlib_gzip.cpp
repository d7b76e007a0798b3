#include "zlib_gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>
#include <vector>

#include "failure.h"
#include "gzip_framing.h"
#include "messages.h"

namespace {

constexpr int kGzipOnly = 15 + 16;  // the largest window, with a gzip header and trailer

// Each member through zlib's inflate, which reads its header as gzip -d
// does and checks its header CRC (when it has one), CRC-32 and length.
// Throws std::bad_alloc when `result` says zlib ran out of memory, and
// Failure when it refused anything else.
void check(int result) {
  if (result == Z_OK) return;
  if (result == Z_MEM_ERROR) throw std::bad_alloc();
  throw Failure(codecFailureMessage("zlib", zError(result)));
}

class ZlibInflater : public GzipInflater {
 public:
  ZlibInflater() { check(inflateInit2(&stream_, kGzipOnly)); }
  ~ZlibInflater() override { inflateEnd(&stream_); }
  ZlibInflater(const ZlibInflater&) = delete;
  ZlibInflater& operator=(const ZlibInflater&) = delete;

  // The member's header is read by inflate, which refuses bytes that are none.
  void beginMember(GzipInput& input) override {
    if (inflateReset(&stream_) != Z_OK) input.fail();
  }

  Step inflate(GzipInput& input, char* into, std::size_t capacity) override {
    stream_.next_in = const_cast<Bytef*>(input.next());
    stream_.avail_in = static_cast<uInt>(std::min<std::size_t>(input.available(), UINT_MAX));
    const uInt given = stream_.avail_in;
    stream_.next_out = reinterpret_cast<Bytef*>(into);
    stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(capacity, UINT_MAX));
    const int result = ::inflate(&stream_, Z_NO_FLUSH);
    input.take(given - stream_.avail_in);
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    Step step;
    step.produced = static_cast<std::size_t>(reinterpret_cast<char*>(stream_.next_out) - into);
    if (result == Z_STREAM_END) {
      step.result = Result::memberEnd;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      // zlib writes only what it decoded soundly before a fault.
      step.result = Result::fault;
      step.sound = step.produced;
    }
    return step;
  }

 private:
  z_stream stream_{};
};

class ZlibGzipEncoder : public Encoder {
 public:
  ZlibGzipEncoder() { check(deflateInit2(&stream_, 1, Z_DEFLATED, kGzipOnly, 8, Z_DEFAULT_STRATEGY)); }
  ~ZlibGzipEncoder() override { deflateEnd(&stream_); }
  ZlibGzipEncoder(const ZlibGzipEncoder&) = delete;
  ZlibGzipEncoder& operator=(const ZlibGzipEncoder&) = delete;

  std::string_view encode(std::string_view plain) override {
    check(deflateReset(&stream_));
    output_.resize(deflateBound(&stream_, static_cast<uLong>(plain.size())));
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream_.avail_in = static_cast<uInt>(plain.size());
    stream_.next_out = output_.data();
    stream_.avail_out = static_cast<uInt>(output_.size());
    // With room for the bound, one call ends the member.
    const int result = deflate(&stream_, Z_FINISH);
    if (result != Z_STREAM_END) check(result == Z_OK ? Z_BUF_ERROR : result);
    return {reinterpret_cast<const char*>(output_.data()), stream_.total_out};
  }

 private:
  z_stream stream_{};
  std::vector<Bytef> output_;
};

}  // namespace

std::unique_ptr<ByteSource> zlibGzipDecoder(ByteSource& log, const std::string& logName) {
  return gzipDecoder(log, logName, std::make_unique<ZlibInflater>());
}

std::unique_ptr<Encoder> zlibGzipEncoder() { return std::make_unique<ZlibGzipEncoder>(); }
