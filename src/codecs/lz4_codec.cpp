#include "lz4_codec.h"

#include <lz4frame.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

// Whether liblz4's `result` says it ran out of memory (its codes are named
// in its public interface, not numbered).
bool outOfMemory(std::size_t result) {
  return std::string_view(LZ4F_getErrorName(result)) == "ERROR_allocation_failed";
}

// Decodes an lz4 log one step at a time (a frame header, a block header, a
// block, a checksum), each step's input and not a byte of the next: a call
// to liblz4 that fails does not say how many bytes it wrote before the
// fault, so a step that gives bytes ends before the next one can fail, and
// every byte decoded before a fault is handed out.
class Lz4Decoder : public ByteSource {
 public:
  Lz4Decoder(ByteSource& log, std::string logName)
      : log_(log), logName_(std::move(logName)), input_(1 << 16) {
    const LZ4F_errorCode_t made = LZ4F_createDecompressionContext(&context_, LZ4F_VERSION);
    if (LZ4F_isError(made) != 0) throw std::bad_alloc();
  }
  ~Lz4Decoder() override { LZ4F_freeDecompressionContext(context_); }
  Lz4Decoder(const Lz4Decoder&) = delete;
  Lz4Decoder& operator=(const Lz4Decoder&) = delete;

  std::size_t read(char* into, std::size_t capacity) override {
    while (capacity > 0) {
      if (at_ == size_ && !atEnd_) {
        size_ = log_.read(input_.data(), input_.size());
        at_ = 0;
        atEnd_ = size_ == 0;
      }
      // liblz4's hint takes the next block's header with a block (and the
      // end mark with the last): that header is left for a step of its own,
      // and so are the block's last 4 bytes. A stored block's bytes come out
      // as they come in, before its checksum (those last 4 bytes) is checked;
      // a compressed block is decoded, and its checksum checked, once its
      // last byte is in, so that the call that can fail gives nothing. What
      // a step decoded and a full output could not take is given out by a
      // call with no input.
      std::size_t step = 0;
      if (!outputHeld_) {
        step = hint_ > 2 * kBlockHeader ? hint_ - 2 * kBlockHeader
               : hint_ > kBlockHeader   ? hint_ - kBlockHeader
                                        : std::max<std::size_t>(hint_, 1);
        step = std::min(step, size_ - at_);
      }
      std::size_t produced = capacity;
      std::size_t taken = step;
      const std::size_t result =
          LZ4F_decompress(context_, into, &produced, input_.data() + at_, &taken, nullptr);
      if (LZ4F_isError(result) != 0) {
        if (outOfMemory(result)) throw std::bad_alloc();
        fail();
      }
      at_ += taken;
      outputHeld_ = produced == capacity;
      if (taken > 0 || produced > 0) {
        hint_ = result;
        frameOpen_ = result != 0;
      }
      if (produced > 0) return produced;
      if (atEnd_ && at_ == size_ && !outputHeld_) {
        if (frameOpen_) fail();  // cut short
        return 0;
      }
      if (step > 0 && taken == 0) fail();  // stuck, never seen
    }
    return 0;
  }

 private:
  [[noreturn]] void fail() const { throw Failure(unableToReadMessage(logName_)); }

  static constexpr std::size_t kBlockHeader = 4;

  ByteSource& log_;
  std::string logName_;
  std::vector<char> input_;
  std::size_t at_ = 0, size_ = 0;
  bool atEnd_ = false;
  LZ4F_dctx* context_ = nullptr;
  std::size_t hint_ = 0;  // liblz4's hint for the next call's input; 0 between frames
  bool outputHeld_ = false;
  bool frameOpen_ = false;
};

class Lz4Encoder : public Encoder {
 public:
  Lz4Encoder() {
    if (LZ4F_isError(LZ4F_createCompressionContext(&context_, LZ4F_VERSION)) != 0) throw std::bad_alloc();
    preferences_.frameInfo.contentChecksumFlag = LZ4F_contentChecksumEnabled;
  }
  ~Lz4Encoder() override { LZ4F_freeCompressionContext(context_); }
  Lz4Encoder(const Lz4Encoder&) = delete;
  Lz4Encoder& operator=(const Lz4Encoder&) = delete;

  // One frame, through a context kept from one buffer to the next.
  std::string_view encode(std::string_view plain) override {
    output_.resize(LZ4F_HEADER_SIZE_MAX + LZ4F_compressBound(plain.size(), &preferences_));
    std::size_t size = check(LZ4F_compressBegin(context_, output_.data(), output_.size(), &preferences_));
    size += check(LZ4F_compressUpdate(context_, output_.data() + size, output_.size() - size, plain.data(),
                                      plain.size(), nullptr));
    size += check(LZ4F_compressEnd(context_, output_.data() + size, output_.size() - size, nullptr));
    return {output_.data(), size};
  }

 private:
  // Throws std::bad_alloc when liblz4 ran out of memory, and Failure when it
  // refused anything else (the room given is its own bound).
  static std::size_t check(std::size_t result) {
    if (LZ4F_isError(result) != 0) {
      if (outOfMemory(result)) throw std::bad_alloc();
      throw Failure(codecFailureMessage("liblz4", LZ4F_getErrorName(result)));
    }
    return result;
  }

  LZ4F_cctx* context_ = nullptr;
  LZ4F_preferences_t preferences_{};
  std::vector<char> output_;
};

}  // namespace

std::unique_ptr<ByteSource> lz4Decoder(ByteSource& log, const std::string& logName) {
  return std::make_unique<Lz4Decoder>(log, logName);
}

std::unique_ptr<Encoder> lz4Encoder() { return std::make_unique<Lz4Encoder>(); }
