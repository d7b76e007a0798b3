#include "zstd_codec.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_nextInputType and ZSTD_getFrameHeader, to step through frames
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "log_format.h"
#include "messages.h"

namespace {

constexpr std::size_t kBlockHeader = 3;  // the size of a zstd block's header

// Decodes a zstd log one step at a time (a frame header, a block header, a
// block, a checksum), each step's input and not a byte of the next: a call
// to libzstd that fails does not say how many bytes it wrote before the
// fault, so a step that gives bytes ends before the next one can fail, and
// every byte decoded before a fault is handed out.
class ZstdDecoder : public ByteSource {
 public:
  ZstdDecoder(ByteSource& log, std::string logName)
      : log_(log), logName_(std::move(logName)), input_(ZSTD_DStreamInSize()), context_(ZSTD_createDCtx()) {
    if (context_ == nullptr) throw std::bad_alloc();
    const std::size_t set = ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, kMostWindowLog);
    if (ZSTD_isError(set) != 0) {
      ZSTD_freeDCtx(context_);
      throw Failure(codecFailureMessage("zstd", ZSTD_getErrorName(set)));
    }
    // The first input now, so that a window too large is refused before any
    // output is created; read() takes these bytes first.
    try {
      in_ = {input_.data(), log_.read(input_.data(), input_.size()), 0};
      atEnd_ = in_.size == 0;
      refuseLargeWindow({input_.data(), in_.size});
    } catch (...) {
      ZSTD_freeDCtx(context_);
      throw;
    }
  }
  ~ZstdDecoder() override { ZSTD_freeDCtx(context_); }
  ZstdDecoder(const ZstdDecoder&) = delete;
  ZstdDecoder& operator=(const ZstdDecoder&) = delete;

  std::size_t read(char* into, std::size_t capacity) override {
    for (;;) {
      if (in_.pos == in_.size && !atEnd_) {
        in_ = {input_.data(), log_.read(input_.data(), input_.size()), 0};
        if (in_.size == 0) atEnd_ = true;
      }
      ZSTD_outBuffer out{into, capacity, 0};
      const std::size_t inputBefore = in_.pos;
      // What a step decoded and a full output could not take is given out
      // by a call of its own, with no input.
      const std::size_t stepSize = outputHeld_ ? 0 : stepInput();
      ZSTD_inBuffer step{in_.src, std::min(in_.size, in_.pos + stepSize), in_.pos};
      const std::size_t result = ZSTD_decompressStream(context_, &out, &step);
      in_.pos = step.pos;
      if (ZSTD_isError(result) != 0) fail(result);
      hint_ = result;
      outputHeld_ = out.pos == out.size;
      if (inHeader_) readHeader(static_cast<const char*>(in_.src) + inputBefore, in_.pos - inputBefore);
      if (contentLeft_ != ZSTD_CONTENTSIZE_UNKNOWN) {
        contentLeft_ -= std::min<std::uint64_t>(contentLeft_, out.pos);
      }
      // 0: a frame ended and everything it holds has been given out; the
      // next byte begins another's header. A call that takes and gives
      // nothing says nothing of the frame (after a frame's end it asks for
      // the next one's header).
      if (result == 0) inHeader_ = true;
      if (in_.pos != inputBefore || out.pos > 0) frameOpen_ = result != 0;
      if (out.pos > 0) return out.pos;
      if (atEnd_ && in_.pos == in_.size) {
        if (frameOpen_) fail();  // cut short
        return 0;
      }
      if (stepSize > 0 && in_.pos == inputBefore && in_.pos < in_.size) fail();  // stuck, never seen
    }
  }

 private:
  // The input bytes that end the step the decoder is in. libzstd's hint asks
  // for the next block's header with a block as well; that header is left
  // for a step of its own, since a fault in it would fail the call that
  // decodes the block. A raw block's bytes come out as they come in, and a
  // frame's size is checked against its header as they do and when its last
  // block ends: a step ends at the size the header gives, and the last
  // block's last byte is a step of its own. Between frames the hint is 0,
  // and one byte starts the next.
  std::size_t stepInput() const {
    std::size_t size = hint_ > 0 ? hint_ : 1;
    // Until a frame's header is whole, libzstd has not begun the frame, and
    // says what input it expects through the hint alone.
    if (inHeader_) return size;
    switch (ZSTD_nextInputType(context_)) {
      case ZSTDnit_block:
        size = hint_ > kBlockHeader ? hint_ - kBlockHeader : 1;
        break;
      case ZSTDnit_lastBlock:
        size = hint_ > 1 ? hint_ - 1 : 1;
        break;
      default:
        return size;
    }
    return contentLeft_ == ZSTD_CONTENTSIZE_UNKNOWN ? size : std::clamp<std::uint64_t>(contentLeft_, 1, size);
  }

  // Keeps the bytes of a frame header as they are taken and, once they make
  // a whole header, the frame's content size from it where it gives one.
  void readHeader(const char* taken, std::size_t size) {
    header_.append(taken, std::min(size, kMostHeader - header_.size()));
    ZSTD_frameHeader frame{};
    const std::size_t missing = ZSTD_getFrameHeader(&frame, header_.data(), header_.size());
    if (missing > 0 && ZSTD_isError(missing) == 0) return;  // not yet whole
    const bool known = missing == 0 && frame.frameType == ZSTD_frame;
    contentLeft_ = known ? frame.frameContentSize : ZSTD_CONTENTSIZE_UNKNOWN;
    header_.clear();
    inHeader_ = false;
  }

  // Throws the window message when the first frame in `first` (past any
  // skippable frames) declares a window larger than tovlak reads.
  void refuseLargeWindow(std::string_view first) const {
    const std::uint64_t skipped = afterSkippableFrames(first);
    if (skipped >= first.size()) return;
    const std::string_view frame = first.substr(static_cast<std::size_t>(skipped));
    ZSTD_frameHeader header{};
    if (ZSTD_getFrameHeader(&header, frame.data(), frame.size()) == 0 && header.frameType == ZSTD_frame &&
        header.windowSize > kMostWindow) {
      throw Failure(windowTooLargeMessage(logName_, header.windowSize, kMostWindow));
    }
  }

  // After a call failed: out of memory where libzstd ran out of it, the
  // window message where a frame's window is larger than tovlak reads, else
  // "unable to read LOG".
  [[noreturn]] void fail(std::size_t result = 0) const {
    const ZSTD_ErrorCode code = ZSTD_isError(result) != 0 ? ZSTD_getErrorCode(result) : ZSTD_error_no_error;
    if (code == ZSTD_error_memory_allocation) throw std::bad_alloc();
    if (code == ZSTD_error_frameParameter_windowTooLarge) {
      // The header: what was taken of it, and the input from there on; its
      // size where it can be read from them.
      refuseLargeWindow(header_ +
                        std::string(static_cast<const char*>(in_.src) + in_.pos, in_.size - in_.pos));
      throw Failure(windowTooLargeMessage(logName_, 0, kMostWindow));
    }
    throw Failure(unableToReadMessage(logName_));
  }

  static constexpr std::uint64_t kMostWindow = std::uint64_t{1} << kMostWindowLog;
  // The longest frame header, with the block header taken with it.
  static constexpr std::size_t kMostHeader = ZSTD_FRAMEHEADERSIZE_MAX + kBlockHeader;

  ByteSource& log_;
  std::string logName_;
  std::vector<char> input_;
  ZSTD_DCtx* context_;
  ZSTD_inBuffer in_{nullptr, 0, 0};
  bool atEnd_ = false;
  std::size_t hint_ = 0;     // libzstd's hint for the next call's input
  bool outputHeld_ = false;  // the last call filled the output: it may hold more
  bool frameOpen_ = false;
  bool inHeader_ = true;  // the next bytes begin or continue a frame's header
  std::string header_;    // the frame header's bytes taken so far
  // What the frame's header says is left of its content, or unknown.
  std::uint64_t contentLeft_ = ZSTD_CONTENTSIZE_UNKNOWN;
};

class ZstdEncoder : public Encoder {
 public:
  ZstdEncoder() : context_(ZSTD_createCCtx()) {
    if (context_ == nullptr) throw std::bad_alloc();
    check(ZSTD_CCtx_setParameter(context_, ZSTD_c_compressionLevel, 1));
    check(ZSTD_CCtx_setParameter(context_, ZSTD_c_checksumFlag, 1));
  }
  ~ZstdEncoder() override { ZSTD_freeCCtx(context_); }
  ZstdEncoder(const ZstdEncoder&) = delete;
  ZstdEncoder& operator=(const ZstdEncoder&) = delete;

  std::string_view encode(std::string_view plain) override {
    output_.resize(ZSTD_compressBound(plain.size()));
    const std::size_t size =
        ZSTD_compress2(context_, output_.data(), output_.size(), plain.data(), plain.size());
    check(size);
    return {output_.data(), size};
  }

 private:
  // Throws std::bad_alloc when `result` says libzstd ran out of memory, and
  // Failure when it refused anything else.
  static void check(std::size_t result) {
    if (ZSTD_isError(result) == 0) return;
    if (ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation) throw std::bad_alloc();
    throw Failure(codecFailureMessage("zstd", ZSTD_getErrorName(result)));
  }

  ZSTD_CCtx* context_;
  std::vector<char> output_;
};

}  // namespace

std::unique_ptr<ByteSource> zstdDecoder(ByteSource& log, const std::string& logName) {
  return std::make_unique<ZstdDecoder>(log, logName);
}

std::unique_ptr<Encoder> zstdEncoder() { return std::make_unique<ZstdEncoder>(); }
