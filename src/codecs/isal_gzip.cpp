#include "isal_gzip.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

constexpr std::size_t kInputBlock = std::size_t{256} * 1024;
constexpr std::size_t kLongestMatch = 258;  // the most bytes one deflate match copies

class IsalGzipDecoder : public ByteSource {
 public:
  IsalGzipDecoder(ByteSource& log, std::string logName)
      : log_(log),
        logName_(std::move(logName)),
        input_(kInputBlock),
        state_(std::make_unique<inflate_state>()) {
    isal_inflate_init(state_.get());
  }

  std::size_t read(char* into, std::size_t capacity) override {
    if (failed_) fail();
    for (;;) {
      if (state_->avail_in == 0 && !atEnd_) refill();
      if (!inMember_) {
        if (state_->avail_in == 0) return 0;  // the end, after a whole member
        if (*state_->next_in == 0) {
          passPadding();
          return 0;
        }
        // The next member: its header here, its data and trailer through
        // inflate, which checks the trailer's CRC-32 and length. (inflate's
        // own header reading passes over reserved flags, which gzip -d
        // refuses, and, given the header in small pieces, has been seen to
        // skip a comment.)
        readHeader();
        isal_inflate_reset(state_.get());
        state_->crc_flag = ISAL_GZIP_NO_HDR_VER;
        inMember_ = true;
      }
      const std::uint32_t inputBefore = state_->avail_in;
      state_->next_out = reinterpret_cast<std::uint8_t*>(into);
      state_->avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, UINT32_MAX));
      const int result = isal_inflate(state_.get());
      const std::size_t produced = reinterpret_cast<char*>(state_->next_out) - into;
      if (result < 0) {
        // What the call decoded before the fault goes out first, and the
        // next read fails. A wrong CRC or length leaves every byte sound; in
        // corrupt data, ISA-L copies a match whose distance reaches past the
        // start of the member before it refuses it, so the last match's
        // worth of bytes is held back.
        const std::size_t sound =
            result == ISAL_INCORRECT_CHECKSUM ? produced : produced - std::min(produced, kLongestMatch);
        if (sound == 0) fail();
        failed_ = true;
        return sound;
      }
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

  // The next byte of a member's header, counted in its CRC; fails at the
  // end of the log.
  std::uint8_t headerByte() {
    if (state_->avail_in == 0 && !atEnd_) refill();
    if (state_->avail_in == 0) fail();
    const std::uint8_t byte = *state_->next_in++;
    --state_->avail_in;
    headerCrc_ = crc32_gzip_refl(headerCrc_, &byte, 1);
    return byte;
  }

  // Reads a member's header as gzip -d does: its magic, the deflate method,
  // no reserved flag, then the extra field, name, comment and header CRC
  // that its flags announce, the CRC checked. Fails on anything else.
  void readHeader() {
    constexpr std::uint8_t kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16, kReserved = 0xe0;
    headerCrc_ = 0;
    std::uint8_t fixed[10];
    for (std::uint8_t& byte : fixed) byte = headerByte();
    const std::uint8_t flags = fixed[3];
    if (fixed[0] != 0x1f || fixed[1] != 0x8b || fixed[2] != 8 || (flags & kReserved) != 0) fail();
    if ((flags & kExtra) != 0) {
      unsigned length = headerByte();
      length |= static_cast<unsigned>(headerByte()) << 8;
      while (length-- > 0) headerByte();
    }
    if ((flags & kName) != 0) {
      while (headerByte() != 0) {
      }
    }
    if ((flags & kComment) != 0) {
      while (headerByte() != 0) {
      }
    }
    if ((flags & kHeaderCrc) != 0) {
      const std::uint32_t crc = headerCrc_;
      unsigned stored = headerByte();
      stored |= static_cast<unsigned>(headerByte()) << 8;
      if (stored != (crc & 0xffff)) fail();
    }
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
  std::uint32_t headerCrc_ = 0;
  bool atEnd_ = false;
  bool inMember_ = false;
  bool failed_ = false;  // a fault found after bytes that were handed out
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
      // Only a full output is expected: anything else is ISA-L refusing.
      if (result != STATELESS_OVERFLOW) {
        throw Failure(codecFailureMessage("ISA-L", "compression error " + std::to_string(result)));
      }
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
