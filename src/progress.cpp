#include "progress.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace {

constexpr auto kFirstDraw = std::chrono::seconds(1);
constexpr auto kRedraw = std::chrono::milliseconds(250);

// `bytes` in the largest binary unit that leaves a number of at least 1.
std::string sizeText(double bytes) {
  static constexpr const char* kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  std::size_t unit = 0;
  while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  static_cast<void>(std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]));
  return text;
}

// Writes `text` to the terminal, unchecked: the run does not fail for its
// progress line.
void draw(platform::Handle terminal, const std::string& text) {
  static_cast<void>(platform::writeAll(terminal, text.data(), text.size()));
}

}  // namespace

std::string progressLine(std::uint64_t bytesRead, std::optional<std::uint64_t> logSize, double seconds) {
  const double rate = seconds > 0 ? static_cast<double>(bytesRead) / seconds : 0;
  std::string line = "tovlak: ";
  line += sizeText(static_cast<double>(bytesRead));
  if (logSize && bytesRead <= *logSize && *logSize > 0) {
    const double left = rate > 0 ? static_cast<double>(*logSize - bytesRead) / rate : 0;
    const int percent =
        static_cast<int>(100 * static_cast<double>(bytesRead) / static_cast<double>(*logSize));
    char rest[96];
    static_cast<void>(
        std::snprintf(rest, sizeof rest, ", %d%%, %s/s, %.0f s left", percent, sizeText(rate).c_str(), left));
    return line + " of " + sizeText(static_cast<double>(*logSize)) + rest;
  }
  return line + ", " + sizeText(rate) + "/s";
}

Progress::Progress(ByteSource& log, platform::Handle terminal, std::optional<std::uint64_t> logSize)
    : log_(log),
      terminal_(terminal),
      logSize_(logSize),
      start_(Clock::now()),
      nextDraw_(start_ + kFirstDraw) {}

Progress::~Progress() { end(); }

void Progress::end() {
  const std::lock_guard lock(mutex_);
  if (ended_) return;
  ended_ = true;
  if (widest_ == 0) return;
  std::string blank(widest_ + 2, ' ');
  blank.front() = blank.back() = '\r';
  draw(terminal_, blank);
}

std::size_t Progress::read(char* into, std::size_t capacity) {
  const std::size_t got = log_.read(into, capacity);
  const std::lock_guard lock(mutex_);
  if (ended_) return got;
  bytesRead_ += got;
  const Clock::time_point now = Clock::now();
  if (now >= nextDraw_) {
    nextDraw_ = now + kRedraw;
    show(progressLine(bytesRead_, logSize_, std::chrono::duration<double>(now - start_).count()));
  }
  return got;
}

void Progress::show(const std::string& text) {
  // Padded to the widest line so far, so no tail of a longer one stays behind.
  std::string line = "\r";
  line += text;
  if (text.size() < widest_) line.append(widest_ - text.size(), ' ');
  widest_ = std::max(widest_, text.size());
  draw(terminal_, line);
}
