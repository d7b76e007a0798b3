#include "isal_gzip.h"

#include <isa-l/igzip_lib.h>

#include <cstdint>
#include <new>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

constexpr std::size_t kInputBlock = std::size_t{256} * 1024;

class IsalGzipDecoder : public ByteSource {
 public:
  IsalGzipDecoder(ByteSource& log, const std::string& logName)
      : log_(log), logName_(logName), input_(kInputBlock), state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
  }

  std::size_t read(char* into, std::size_t capacity) override {
    for (;;) {
      if (state_->avail_in == 0 && !atEnd_) refill();
      if (!inMember_) {
        if (state_->avail_in == 0) return 0;  // the end, after a whole member
        if (*state_->next_in == 0) {
          passPadding();
          return 0;
        }
        // The next member, or bytes that are none, which inflate refuses.
        isal_inflate_reset(state_.get());
        state_->crc_flag = ISAL_GZIP;
        inMember_ = true;
      }
      const std::uint32_t inputBefore = state_->avail_in;
      state_->next_out = reinterpret_cast<std::uint8_t*>(into);
      state_->avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, UINT32_MAX));
      const int result = isal_inflate(state_.get());
      if (result < 0) fail();
      const std::size_t produced = reinterpret_cast<char*>(state_->next_out) - into;
      if (state_->block_state == ISAL_BLOCK_FINISH) inMember_ = false;
      if (produced > 0) return produced;
      // Nothing came out and no input was taken: the member is cut short
      // (or, never seen, inflate is stuck).
      if (inMember_ && state_->avail_in == inputBefore && (atEnd_ || inputBefore > 0)) fail();
    }
  }

 private:
  // Reads the next block of the log, once the one before is used up.
  void refill() {
    const std::size_t got = log_.read(reinterpret_cast<char*>(input_.data()), input_.size());
    if (got == 0) atEnd_ = true;
    state_->next_in = input_.data();
    state_->avail_in = static_cast<std::uint32_t>(got);
  }

  // Passes over zero bytes up to the end of the log, as gzip -d does, and
  // fails at anything else.
  void passPadding() {
    for (;;) {
      for (; state_->avail_in > 0; ++state_->next_in, --state_->avail_in) {
        if (*state_->next_in != 0) fail();
      }
      if (atEnd_) return;
      refill();
    }
  }

  [[noreturn]] void fail() const { throw Failure(unableToReadMessage(logName_)); }

  ByteSource& log_;
  std::string logName_;
  std::vector<std::uint8_t> input_;
  std::unique_ptr<inflate_state> state_;
  bool atEnd_ = false;
  bool inMember_ = false;
};

class IsalGzipEncoder : public Encoder {
 public:
  IsalGzipEncoder() : levelBuffer_(ISAL_DEF_LVL1_DEFAULT) {}

  std::string_view encode(std::string_view plain) override {
    // Enough for incompressible input, stored; doubled should it not be.
    std::size_t room = plain.size() + plain.size() / 16 + 1024;
    for (;;) {
      if (output_.size() < room) output_.resize(room);
      isal_zstream stream;
      isal_deflate_stateless_init(&stream);
      stream.level = 1;
      stream.level_buf = levelBuffer_.data();
      stream.level_buf_size = static_cast<std::uint32_t>(levelBuffer_.size());
      stream.gzip_flag = IGZIP_GZIP;
      stream.end_of_stream = 1;
      stream.flush = NO_FLUSH;
      stream.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(plain.data()));
      stream.avail_in = static_cast<std::uint32_t>(plain.size());
      stream.next_out = output_.data();
      stream.avail_out = static_cast<std::uint32_t>(output_.size());
      const int result = isal_deflate_stateless(&stream);
      if (result == COMP_OK) return {reinterpret_cast<const char*>(output_.data()), stream.total_out};
      // Only a full output is expected; anything else is treated as no memory.
      if (result != STATELESS_OVERFLOW) throw std::bad_alloc();
      room = 2 * output_.size();
    }
  }

 private:
  std::vector<std::uint8_t> levelBuffer_;
  std::vector<std::uint8_t> output_;
};

}  // namespace

std::unique_ptr<ByteSource> isalGzipDecoder(ByteSource& log, const std::string& logName) {
  return std::make_unique<IsalGzipDecoder>(log, logName);
}

std::unique_ptr<Encoder> isalGzipEncoder() { return std::make_unique<IsalGzipEncoder>(); }
