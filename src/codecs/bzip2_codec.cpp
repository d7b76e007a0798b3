#include "bzip2_codec.h"

#include <bzlib.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

constexpr std::size_t kBlockUnit = 100000;  // a block size is a number of these, 1 to 9

class Bzip2Decoder : public ByteSource {
 public:
  Bzip2Decoder(ByteSource& log, std::string logName)
      : log_(log), logName_(std::move(logName)), input_(1 << 16) {}
  ~Bzip2Decoder() override {
    if (inStream_) BZ2_bzDecompressEnd(&stream_);
  }
  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

  // libbz2 counts the bytes it wrote before a wrong CRC (a block's is
  // checked once the block is out), so those are handed out first and the
  // fault is thrown by the next call; of a block found corrupt as it is
  // written out, the bytes of the call that finds it are lost.
  std::size_t read(char* into, std::size_t capacity) override {
    if (failed_ != BZ_OK) fail();
    while (capacity > 0) {
      if (available_ == 0 && !atEnd_) {
        available_ = static_cast<unsigned>(log_.read(input_.data(), input_.size()));
        next_ = input_.data();
        atEnd_ = available_ == 0;
      }
      if (!inStream_) {
        if (available_ == 0) return 0;  // the last stream ended with the log
        begin();
      }
      stream_.next_in = next_;
      stream_.avail_in = available_;
      stream_.next_out = into;
      stream_.avail_out = static_cast<unsigned>(std::min(capacity, kBzip2MostPerCall));
      const int result = BZ2_bzDecompress(&stream_);
      next_ = stream_.next_in;
      available_ = stream_.avail_in;
      const auto produced = static_cast<std::size_t>(stream_.next_out - into);
      if (result == BZ_STREAM_END) {
        BZ2_bzDecompressEnd(&stream_);
        inStream_ = false;
      } else if (result != BZ_OK) {
        failed_ = result;
      } else if (produced == 0 && available_ == 0 && atEnd_) {
        failed_ = BZ_UNEXPECTED_EOF;  // cut short
      }
      if (produced > 0) return produced;
      if (failed_ != BZ_OK) fail();
    }
    return 0;
  }

 private:
  // Starts the decompression of a stream; what begins it is libbz2's to judge.
  void begin() {
    stream_ = bz_stream{};
    const int started = BZ2_bzDecompressInit(&stream_, 0, 0);
    if (started == BZ_MEM_ERROR) throw std::bad_alloc();
    if (started != BZ_OK) {
      throw Failure(codecFailureMessage("libbz2", "decoder error " + std::to_string(started)));
    }
    inStream_ = true;
  }

  [[noreturn]] void fail() const {
    if (failed_ == BZ_MEM_ERROR) throw std::bad_alloc();
    throw Failure(unableToReadMessage(logName_));
  }

  ByteSource& log_;
  std::string logName_;
  std::vector<char> input_;
  char* next_ = nullptr;
  unsigned available_ = 0;
  bool atEnd_ = false;
  bz_stream stream_{};
  bool inStream_ = false;
  int failed_ = BZ_OK;
};

class Bzip2Encoder : public Encoder {
 public:
  std::string_view encode(std::string_view plain) override {
    // The most a stream grows: 1 % and 600 bytes, as libbz2 documents.
    output_.resize(plain.size() + plain.size() / 100 + 600);
    auto size = static_cast<unsigned>(output_.size());
    // libbz2 refuses a null source, which an empty view may have.
    char none = 0;
    char* source = plain.empty() ? &none : const_cast<char*>(plain.data());
    // 900 kB blocks, as bzip2 makes by default; a buffer that fits a
    // smaller block gets one, which compresses it alike in less memory.
    const int blockSize =
        static_cast<int>(std::clamp<std::size_t>((plain.size() + kBlockUnit - 1) / kBlockUnit, 1, 9));
    const int result = BZ2_bzBuffToBuffCompress(output_.data(), &size, source,
                                                static_cast<unsigned>(plain.size()), blockSize, 0, 0);
    if (result == BZ_MEM_ERROR) throw std::bad_alloc();
    if (result != BZ_OK) {
      throw Failure(codecFailureMessage("libbz2", "encoder error " + std::to_string(result)));
    }
    return {output_.data(), size};
  }

 private:
  std::vector<char> output_;
};

}  // namespace

std::unique_ptr<ByteSource> bzip2Decoder(ByteSource& log, const std::string& logName) {
  return std::make_unique<Bzip2Decoder>(log, logName);
}

std::unique_ptr<Encoder> bzip2Encoder() { return std::make_unique<Bzip2Encoder>(); }
