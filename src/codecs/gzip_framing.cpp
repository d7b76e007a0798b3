#include "gzip_framing.h"

#include <utility>

#include "failure.h"
#include "messages.h"

namespace {

constexpr std::size_t kInputBlock = std::size_t{256} * 1024;

class GzipDecoder : public ByteSource {
 public:
  GzipDecoder(ByteSource& log, std::string logName, std::unique_ptr<GzipInflater> inflater)
      : input_(log, std::move(logName)), inflater_(std::move(inflater)) {}

  std::size_t read(char* into, std::size_t capacity) override {
    if (failed_) input_.fail();
    for (;;) {
      if (input_.available() == 0 && !input_.atEnd()) input_.refill();
      if (!inMember_) {
        if (input_.available() == 0) return 0;  // the end, after a whole member
        if (*input_.next() == 0) {
          passPadding();
          return 0;
        }
        inflater_->beginMember(input_);
        inMember_ = true;
      }
      const std::size_t before = input_.available();
      const GzipInflater::Step step = inflater_->inflate(input_, into, capacity);
      if (step.result == GzipInflater::Result::fault) {
        // What was decoded before the fault goes out first; the next read fails.
        if (step.sound == 0) input_.fail();
        failed_ = true;
        return step.sound;
      }
      if (step.result == GzipInflater::Result::memberEnd) inMember_ = false;
      if (step.produced > 0) return step.produced;
      // Nothing came out and no input was taken: the member is cut short
      // (or, never seen, the library is stuck).
      if (inMember_ && input_.available() == before && (input_.atEnd() || before > 0)) input_.fail();
    }
  }

 private:
  // Passes over zero bytes up to the end of the log, as gzip -d does, and
  // fails at anything else.
  void passPadding() {
    for (;;) {
      for (; input_.available() > 0; input_.take(1)) {
        if (*input_.next() != 0) input_.fail();
      }
      if (input_.atEnd()) return;
      input_.refill();
    }
  }

  GzipInput input_;
  std::unique_ptr<GzipInflater> inflater_;
  bool inMember_ = false;
  bool failed_ = false;  // a fault found after bytes that were handed out
};

}  // namespace

GzipInput::GzipInput(ByteSource& log, std::string logName)
    : log_(log), logName_(std::move(logName)), block_(kInputBlock) {}

void GzipInput::refill() {
  available_ = log_.read(reinterpret_cast<char*>(block_.data()), block_.size());
  next_ = block_.data();
  if (available_ == 0) atEnd_ = true;
}

std::uint8_t GzipInput::takeByte() {
  if (available_ == 0 && !atEnd_) refill();
  if (available_ == 0) fail();
  const std::uint8_t byte = *next_;
  take(1);
  return byte;
}

void GzipInput::fail() const { throw Failure(unableToReadMessage(logName_)); }

std::unique_ptr<ByteSource> gzipDecoder(ByteSource& log, const std::string& logName,
                                        std::unique_ptr<GzipInflater> inflater) {
  return std::make_unique<GzipDecoder>(log, logName, std::move(inflater));
}
