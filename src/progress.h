#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "byte_source.h"
#include "platform/platform.h"

// One line of progress: "tovlak: READ of SIZE, P%, RATE/s, T s left" while
// the log's size is known and not yet passed, "tovlak: READ, RATE/s"
// otherwise (a pipe, or a log that grew).
std::string progressLine(std::uint64_t bytesRead, std::optional<std::uint64_t> logSize, double seconds);

// The log read with its progress shown on a terminal: nothing during the
// first second, then one line redrawn in place at most four times a second.
// The clock is looked at once per block read, never per line. The line is
// erased when the Progress ends, before any failure message is written, so a
// finished run leaves the terminal as it was. It may be ended on one thread
// while another reads through it. Writes to the terminal are not
// checked: the run does not fail for its progress line.
class Progress : public ByteSource {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts the clock: the run's time counts from here.
  Progress(ByteSource& log, platform::Handle terminal, std::optional<std::uint64_t> logSize);
  ~Progress() override;
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Reads from the log, then redraws the line when it is due.
  std::size_t read(char* into, std::size_t capacity) override;
  // Erases the line; nothing is drawn after it.
  void end();

 private:
  void show(const std::string& text);

  ByteSource& log_;
  platform::Handle terminal_;
  std::optional<std::uint64_t> logSize_;
  Clock::time_point start_;
  Clock::time_point nextDraw_;
  std::uint64_t bytesRead_ = 0;
  std::size_t widest_ = 0;  // the longest line drawn, which the erasure covers
  bool ended_ = false;
  std::mutex mutex_;  // over the line drawn and the bytes counted
};
