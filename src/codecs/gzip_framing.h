#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "byte_source.h"

// The compressed bytes of a gzip log, a block at a time, as the framing and
// a library's inflater take them.
class GzipInput {
 public:
  GzipInput(ByteSource& log, std::string logName);

  const std::uint8_t* next() const { return next_; }
  std::size_t available() const { return available_; }
  bool atEnd() const { return atEnd_; }
  // Marks `count` of the available bytes taken.
  void take(std::size_t count) {
    next_ += count;
    available_ -= count;
  }
  // Reads the next block of the log, once the one before is taken.
  void refill();
  // The next byte, reading on as need be; fails at the end of the log.
  std::uint8_t takeByte();
  // Throws Failure "unable to read NAME".
  [[noreturn]] void fail() const;

 private:
  ByteSource& log_;
  std::string logName_;
  std::vector<std::uint8_t> block_;
  const std::uint8_t* next_ = nullptr;
  std::size_t available_ = 0;
  bool atEnd_ = false;
};

// What a gzip library supplies: inflating one member's data and trailer,
// its CRC-32 and length checked.
class GzipInflater {
 public:
  enum class Result {
    going,      // more of the member to come
    memberEnd,  // the member ended, its trailer checked
    fault,      // corrupt data, or a CRC or length that does not match
  };
  struct Step {
    Result result = Result::going;
    std::size_t produced = 0;  // bytes written to the output
    std::size_t sound = 0;     // of them, on a fault, those decoded before it
  };

  virtual ~GzipInflater() = default;
  // Begins a member at the input's next byte, its header included.
  virtual void beginMember(GzipInput& input) = 0;
  // Inflates what the input holds into `into`, taking what it uses.
  virtual Step inflate(GzipInput& input, char* into, std::size_t capacity) = 0;
};

// The plain bytes of a gzip log: every member in turn through `inflater`,
// then nothing but the zero padding gzip -d passes over. Its read() throws
// Failure "unable to read NAME" on a truncated or corrupt log, after every
// byte decoded before the fault.
std::unique_ptr<ByteSource> gzipDecoder(ByteSource& log, const std::string& logName,
                                        std::unique_ptr<GzipInflater> inflater);
