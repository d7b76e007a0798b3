#include "log_format.h"

#include <algorithm>
#include <cstring>

namespace {

bool startsWith(std::string_view bytes, std::string_view magic) {
  return bytes.substr(0, magic.size()) == magic;
}

}  // namespace

LogFormat formatOf(std::string_view firstBytes) {
  using namespace std::string_view_literals;
  if (startsWith(firstBytes, "\x1f\x8b"sv)) return LogFormat::gzip;
  if (startsWith(firstBytes, "\x28\xb5\x2f\xfd"sv)) return LogFormat::zstd;
  // A skippable frame: 50 to 5f, then 2a 4d 18.
  if (firstBytes.size() >= 4 && (static_cast<unsigned char>(firstBytes[0]) & 0xf0) == 0x50 &&
      firstBytes.substr(1, 3) == "\x2a\x4d\x18"sv) {
    return LogFormat::zstd;
  }
  if (startsWith(firstBytes, "\xfd\x37\x7a\x58\x5a\x00"sv)) return LogFormat::xz;
  if (firstBytes.size() >= 10 && startsWith(firstBytes, "BZh") && firstBytes[3] >= '1' &&
      firstBytes[3] <= '9' && firstBytes.substr(4, 6) == "1AY&SY"sv) {
    return LogFormat::bzip2;
  }
  if (startsWith(firstBytes, "\x04\x22\x4d\x18"sv)) return LogFormat::lz4;
  return LogFormat::plain;
}

const char* formatName(LogFormat format) {
  switch (format) {
    case LogFormat::gzip:
      return "gzip";
    case LogFormat::zstd:
      return "zstd";
    case LogFormat::xz:
      return "xz";
    case LogFormat::bzip2:
      return "bzip2";
    case LogFormat::lz4:
      return "lz4";
    case LogFormat::plain:
      break;
  }
  return "plain";
}

SniffedLog::SniffedLog(ByteSource& log) : log_(log) {
  // A pipe may give the first bytes in several reads.
  while (firstSize_ < kFormatBytes) {
    const std::size_t got = log_.read(first_ + firstSize_, kFormatBytes - firstSize_);
    if (got == 0) break;
    firstSize_ += got;
  }
}

std::size_t SniffedLog::read(char* into, std::size_t capacity) {
  if (failure_) std::rethrow_exception(failure_);
  if (handedOut_ == firstSize_) return log_.read(into, capacity);
  const std::size_t n = std::min(capacity, firstSize_ - handedOut_);
  std::memcpy(into, first_ + handedOut_, n);
  handedOut_ += n;
  // The rest of the block from the log itself, so that its reads stay whole blocks.
  // A failure there waits for the next read, so that the first bytes come out first.
  if (n < capacity && handedOut_ == firstSize_ && firstSize_ == kFormatBytes) {
    try {
      return n + log_.read(into + n, capacity - n);
    } catch (...) {
      failure_ = std::current_exception();
    }
  }
  return n;
}
