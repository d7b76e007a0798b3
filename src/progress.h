#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "line_reader.h"

// One line of progress: "tovlak: READ of SIZE, P%, RATE/s, T s left" while
// the log's size is known and not yet passed, "tovlak: READ, RATE/s"
// otherwise (a pipe, or a log that grew).
std::string progressLine(std::uint64_t bytesRead, std::optional<std::uint64_t> logSize, double seconds);

// The progress of a run, shown on a terminal: nothing during the first
// second, then one line redrawn in place at most four times a second. The
// line is erased when the Progress ends, before any failure message is
// written, so a finished run leaves the terminal as it was. Writes to the
// terminal are not checked: the run does not fail for its progress line.
class Progress {
 public:
  using Clock = std::chrono::steady_clock;

  Progress(int terminalFd, std::optional<std::uint64_t> logSize, Clock::time_point start = Clock::now());
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Counts `bytes` more read at `now` and redraws the line when it is due.
  void advance(std::size_t bytes, Clock::time_point now = Clock::now());

 private:
  void show(const std::string& text);

  int terminalFd_;
  std::optional<std::uint64_t> logSize_;
  Clock::time_point start_;
  Clock::time_point nextDraw_;
  std::uint64_t bytesRead_ = 0;
  std::size_t widest_ = 0;  // the longest line drawn, which the erasure covers
};

// A byte source that reports every block read to a Progress: the clock is
// looked at once per block, never per line.
class ProgressSource : public ByteSource {
 public:
  ProgressSource(ByteSource& source, Progress& progress) : source_(source), progress_(progress) {}
  std::size_t read(char* into, std::size_t capacity) override {
    const std::size_t got = source_.read(into, capacity);
    progress_.advance(got);
    return got;
  }

 private:
  ByteSource& source_;
  Progress& progress_;
};
