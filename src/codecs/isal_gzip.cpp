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
#include "gzip_framing.h"
#include "messages.h"

namespace {

constexpr std::size_t kLongestMatch = 258;  // the most bytes one deflate match copies

// Each member's header read here, as gzip -d reads it, and its data and
// trailer through ISA-L's inflate, which checks the trailer's CRC-32 and
// length. (ISA-L's own header reading passes over reserved flags, which
// gzip -d refuses, and, given the header in small pieces, has been seen to
// skip a comment.)
class IsalInflater : public GzipInflater {
 public:
  IsalInflater() : state_(std::make_unique<inflate_state>()) { isal_inflate_init(state_.get()); }

  void beginMember(GzipInput& input) override {
    readHeader(input);
    isal_inflate_reset(state_.get());
    state_->crc_flag = ISAL_GZIP_NO_HDR_VER;
  }

  Step inflate(GzipInput& input, char* into, std::size_t capacity) override {
    state_->next_in = const_cast<std::uint8_t*>(input.next());
    state_->avail_in = static_cast<std::uint32_t>(std::min<std::size_t>(input.available(), UINT32_MAX));
    const std::uint32_t given = state_->avail_in;
    state_->next_out = reinterpret_cast<std::uint8_t*>(into);
    state_->avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, UINT32_MAX));
    const int result = isal_inflate(state_.get());
    input.take(given - state_->avail_in);
    Step step;
    step.produced = static_cast<std::size_t>(reinterpret_cast<char*>(state_->next_out) - into);
    if (result < 0) {
      // A wrong CRC or length leaves every byte sound; in corrupt data, ISA-L
      // copies a match whose distance reaches past the start of the member
      // before it refuses it, so the last match's worth of bytes is held back.
      step.result = Result::fault;
      step.sound = result == ISAL_INCORRECT_CHECKSUM ? step.produced
                                                     : step.produced - std::min(step.produced, kLongestMatch);
    } else if (state_->block_state == ISAL_BLOCK_FINISH) {
      step.result = Result::memberEnd;
    }
    return step;
  }

 private:
  // The next byte of a member's header, counted in its CRC.
  std::uint8_t headerByte(GzipInput& input) {
    const std::uint8_t byte = input.takeByte();
    headerCrc_ = crc32_gzip_refl(headerCrc_, &byte, 1);
    return byte;
  }

  // Reads a member's header as gzip -d does: its magic, the deflate method,
  // no reserved flag, then the extra field, name, comment and header CRC
  // that its flags announce, the CRC checked. Fails on anything else.
  void readHeader(GzipInput& input) {
    constexpr std::uint8_t kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16, kReserved = 0xe0;
    headerCrc_ = 0;
    std::uint8_t fixed[10];
    for (std::uint8_t& byte : fixed) byte = headerByte(input);
    const std::uint8_t flags = fixed[3];
    if (fixed[0] != 0x1f || fixed[1] != 0x8b || fixed[2] != 8 || (flags & kReserved) != 0) input.fail();
    if ((flags & kExtra) != 0) {
      unsigned length = headerByte(input);
      length |= static_cast<unsigned>(headerByte(input)) << 8;
      while (length-- > 0) headerByte(input);
    }
    if ((flags & kName) != 0) {
      while (headerByte(input) != 0) {
      }
    }
    if ((flags & kComment) != 0) {
      while (headerByte(input) != 0) {
      }
    }
    if ((flags & kHeaderCrc) != 0) {
      const std::uint32_t crc = headerCrc_;
      unsigned stored = headerByte(input);
      stored |= static_cast<unsigned>(headerByte(input)) << 8;
      if (stored != (crc & 0xffff)) input.fail();
    }
  }

  std::unique_ptr<inflate_state> state_;
  std::uint32_t headerCrc_ = 0;
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
  return gzipDecoder(log, logName, std::make_unique<IsalInflater>());
}

std::unique_ptr<Encoder> isalGzipEncoder() { return std::make_unique<IsalGzipEncoder>(); }
