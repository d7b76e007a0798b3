#include "zlib_gzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

constexpr std::size_t kInputBlock = std::size_t{256} * 1024;
constexpr int kGzipOnly = 15 + 16;  // the largest window, with a gzip header and trailer

class ZlibGzipDecoder : public ByteSource {
 public:
  ZlibGzipDecoder(ByteSource& log, std::string logName)
      : log_(log), logName_(std::move(logName)), input_(kInputBlock) {
    const int result = inflateInit2(&stream_, kGzipOnly);
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    if (result != Z_OK) throw Failure(codecFailureMessage("zlib", zError(result)));
  }
  ~ZlibGzipDecoder() override { inflateEnd(&stream_); }
  ZlibGzipDecoder(const ZlibGzipDecoder&) = delete;
  ZlibGzipDecoder& operator=(const ZlibGzipDecoder&) = delete;

  std::size_t read(char* into, std::size_t capacity) override {
    if (failed_) fail();
    for (;;) {
      if (stream_.avail_in == 0 && !atEnd_) refill();
      if (!inMember_) {
        if (stream_.avail_in == 0) return 0;  // the end, after a whole member
        if (*stream_.next_in == 0) {
          passPadding();
          return 0;
        }
        // The next member, or bytes that are none, which inflate refuses.
        if (inflateReset(&stream_) != Z_OK) fail();
        inMember_ = true;
      }
      stream_.next_out = reinterpret_cast<Bytef*>(into);
      stream_.avail_out = static_cast<uInt>(std::min<std::size_t>(capacity, UINT_MAX));
      const uInt inputBefore = stream_.avail_in;
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_MEM_ERROR) throw std::bad_alloc();
      const std::size_t produced = reinterpret_cast<char*>(stream_.next_out) - into;
      if (result == Z_STREAM_END) {
        inMember_ = false;
      } else if (result != Z_OK && result != Z_BUF_ERROR) {
        // Corrupt data, a CRC or length that does not match: what the call
        // decoded before it goes out first, and the next read fails.
        if (produced == 0) fail();
        failed_ = true;
      }
      if (produced > 0) return produced;
      // Nothing came out and no input was taken: the member is cut short.
      if (inMember_ && stream_.avail_in == inputBefore && (atEnd_ || inputBefore > 0)) fail();
    }
  }

 private:
  void refill() {
    const std::size_t got = log_.read(reinterpret_cast<char*>(input_.data()), input_.size());
    if (got == 0) atEnd_ = true;
    stream_.next_in = input_.data();
    stream_.avail_in = static_cast<uInt>(got);
  }

  // Passes over zero bytes up to the end of the log, as gzip -d does, and
  // fails at anything else.
  void passPadding() {
    for (;;) {
      for (; stream_.avail_in > 0; ++stream_.next_in, --stream_.avail_in) {
        if (*stream_.next_in != 0) fail();
      }
      if (atEnd_) return;
      refill();
    }
  }

  [[noreturn]] void fail() const { throw Failure(unableToReadMessage(logName_)); }

  ByteSource& log_;
  std::string logName_;
  std::vector<Bytef> input_;
  z_stream stream_{};
  bool atEnd_ = false;
  bool inMember_ = false;
  bool failed_ = false;  // a fault found after bytes that were handed out
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
  // Throws std::bad_alloc when `result` says zlib ran out of memory, and
  // Failure when it refused anything else.
  static void check(int result) {
    if (result == Z_OK) return;
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    throw Failure(codecFailureMessage("zlib", zError(result)));
  }

  z_stream stream_{};
  std::vector<Bytef> output_;
};

}  // namespace

std::unique_ptr<ByteSource> zlibGzipDecoder(ByteSource& log, const std::string& logName) {
  return std::make_unique<ZlibGzipDecoder>(log, logName);
}

std::unique_ptr<Encoder> zlibGzipEncoder() { return std::make_unique<ZlibGzipEncoder>(); }
