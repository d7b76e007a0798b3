#include "xz_codec.h"

#include <lzma.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

class XzDecoder : public ByteSource {
 public:
  XzDecoder(ByteSource& log, std::string logName) : log_(log), logName_(std::move(logName)), input_(1 << 16) {
    const lzma_ret started =
        lzma_stream_decoder(&stream_, kMostXzDecoderMemory, LZMA_CONCATENATED | LZMA_TELL_UNSUPPORTED_CHECK);
    if (started == LZMA_MEM_ERROR) throw std::bad_alloc();
    if (started != LZMA_OK) {
      throw Failure(codecFailureMessage("liblzma", "decoder error " + std::to_string(started)));
    }
    // The headers of the first input now, with no room for output, so that a
    // dictionary too large is refused before any output is created; any
    // other fault found here waits for read(), as it would have.
    try {
      stream_.avail_in = log_.read(reinterpret_cast<char*>(input_.data()), input_.size());
      stream_.next_in = input_.data();
      atEnd_ = stream_.avail_in == 0;
      if (!atEnd_) failed_ = lzma_code(&stream_, LZMA_RUN);
    } catch (...) {
      lzma_end(&stream_);
      throw;
    }
    if (failed_ == LZMA_MEMLIMIT_ERROR) {
      lzma_end(&stream_);
      throw Failure(unableToReadMessage(logName_));
    }
  }
  ~XzDecoder() override { lzma_end(&stream_); }
  XzDecoder(const XzDecoder&) = delete;
  XzDecoder& operator=(const XzDecoder&) = delete;

  // liblzma counts the bytes it wrote before a fault, so those are handed
  // out first and the fault is thrown by the next call.
  std::size_t read(char* into, std::size_t capacity) override {
    if (failed_ != LZMA_OK) fail();
    while (!ended_ && capacity > 0) {
      if (stream_.avail_in == 0 && !atEnd_) {
        stream_.avail_in = log_.read(reinterpret_cast<char*>(input_.data()), input_.size());
        stream_.next_in = input_.data();
        atEnd_ = stream_.avail_in == 0;
      }
      stream_.next_out = reinterpret_cast<std::uint8_t*>(into);
      stream_.avail_out = capacity;
      // The end of the input tells the decoder that no stream follows.
      const lzma_ret result = lzma_code(&stream_, atEnd_ ? LZMA_FINISH : LZMA_RUN);
      const std::size_t produced = capacity - stream_.avail_out;
      if (result == LZMA_STREAM_END) {
        ended_ = true;
      } else if (result != LZMA_OK) {
        failed_ = result;  // LZMA_BUF_ERROR: cut short
        if (produced == 0) fail();
      }
      if (produced > 0) return produced;
    }
    return 0;
  }

 private:
  [[noreturn]] void fail() const {
    if (failed_ == LZMA_MEM_ERROR) throw std::bad_alloc();
    throw Failure(unableToReadMessage(logName_));
  }

  ByteSource& log_;
  std::string logName_;
  std::vector<std::uint8_t> input_;
  lzma_stream stream_ = LZMA_STREAM_INIT;
  bool atEnd_ = false;
  bool ended_ = false;
  lzma_ret failed_ = LZMA_OK;
};

class XzEncoder : public Encoder {
 public:
  ~XzEncoder() override { lzma_end(&stream_); }
  XzEncoder() = default;
  XzEncoder(const XzEncoder&) = delete;
  XzEncoder& operator=(const XzEncoder&) = delete;

  // One stream at preset 1, its dictionary no larger than the buffer needs:
  // the encoder clears its match finder's tables, which grow with the
  // dictionary, for every stream, and an output's buffers are small where
  // the outputs are many (4 KiB at 10,000). The encoder is started again on
  // the same lzma_stream, which keeps its memory where the sizes match.
  std::string_view encode(std::string_view plain) override {
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, 1) != 0) check(LZMA_OPTIONS_ERROR);
    options.dict_size = std::clamp(static_cast<std::uint32_t>(std::bit_ceil(plain.size())),
                                   static_cast<std::uint32_t>(LZMA_DICT_SIZE_MIN), options.dict_size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    check(lzma_stream_encoder(&stream_, filters, LZMA_CHECK_CRC64));
    output_.resize(lzma_stream_buffer_bound(plain.size()));
    stream_.next_in = reinterpret_cast<const std::uint8_t*>(plain.data());
    stream_.avail_in = plain.size();
    stream_.next_out = reinterpret_cast<std::uint8_t*>(output_.data());
    stream_.avail_out = output_.size();
    const lzma_ret result = lzma_code(&stream_, LZMA_FINISH);
    if (result != LZMA_STREAM_END) check(result == LZMA_OK ? LZMA_BUF_ERROR : result);
    return {output_.data(), output_.size() - stream_.avail_out};
  }

 private:
  // Throws std::bad_alloc when liblzma ran out of memory, and Failure when
  // it refused anything else.
  static void check(lzma_ret result) {
    if (result == LZMA_OK) return;
    if (result == LZMA_MEM_ERROR) throw std::bad_alloc();
    throw Failure(codecFailureMessage("liblzma", "encoder error " + std::to_string(result)));
  }

  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::vector<char> output_;
};

}  // namespace

std::unique_ptr<ByteSource> xzDecoder(ByteSource& log, const std::string& logName) {
  return std::make_unique<XzDecoder>(log, logName);
}

std::unique_ptr<Encoder> xzEncoder() { return std::make_unique<XzEncoder>(); }
