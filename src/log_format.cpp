#include "log_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool startsWith(std::string_view bytes, std::string_view magic) {
  return bytes.substr(0, magic.size()) == magic;
}

// A skippable frame's magic: 50 to 5f, then 2a 4d 18.
bool startsWithSkippable(std::string_view bytes) {
  return bytes.size() >= 4 && (static_cast<unsigned char>(bytes[0]) & 0xf0) == 0x50 &&
         bytes.substr(1, 3) == "\x2a\x4d\x18";
}

}  // namespace

std::uint64_t afterSkippableFrames(std::string_view bytes) {
  std::uint64_t at = 0;
  // Each: its magic, then its size, little-endian.
  while (bytes.size() >= at + 8) {
    const std::string_view header = bytes.substr(static_cast<std::size_t>(at), 8);
    if (!startsWithSkippable(header)) break;
    std::uint64_t size = 0;
    for (std::size_t i = 8; i-- > 4;) size = size << 8 | static_cast<unsigned char>(header[i]);
    at += 8 + size;
  }
  return at;
}

LogFormat formatOf(std::string_view firstBytes) {
  using namespace std::string_view_literals;
  const std::uint64_t skipped = afterSkippableFrames(firstBytes);
  if (skipped > 0) {
    const std::string_view after = firstBytes.substr(std::min<std::uint64_t>(skipped, firstBytes.size()));
    return startsWith(after, "\x04\x22\x4d\x18"sv) ? LogFormat::lz4 : LogFormat::zstd;
  }
  if (startsWith(firstBytes, "\x1f\x8b"sv)) return LogFormat::gzip;
  if (startsWith(firstBytes, "\x28\xb5\x2f\xfd"sv)) return LogFormat::zstd;
  // A skippable frame cut short in its header is still one.
  if (startsWithSkippable(firstBytes)) return LogFormat::zstd;
  if (startsWith(firstBytes, "\xfd\x37\x7a\x58\x5a\x00"sv)) return LogFormat::xz;
  // A block, or the end of a stream with none (an empty file's bzip2).
  if (firstBytes.size() >= 10 && startsWith(firstBytes, "BZh") && firstBytes[3] >= '1' &&
      firstBytes[3] <= '9' &&
      (firstBytes.substr(4, 6) == "1AY&SY"sv || firstBytes.substr(4, 6) == "\x17\x72\x45\x38\x50\x90"sv)) {
    return LogFormat::bzip2;
  }
  if (startsWith(firstBytes, "\x04\x22\x4d\x18"sv)) return LogFormat::lz4;
  if (startsWith(firstBytes, "\x02\x21\x4c\x18"sv)) return LogFormat::lz4Legacy;
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
    case LogFormat::lz4Legacy:
      return "lz4 (legacy format)";
    case LogFormat::plain:
      break;
  }
  return "plain";
}

SniffedLog::SniffedLog(ByteSource& log) : log_(log) {
  readFirst(kFormatBytes);
  // Past any skippable frames (a bounded length of them) to the frame that decides.
  for (std::uint64_t skipped = 0;;) {
    const std::uint64_t after = afterSkippableFrames(first_);
    if (after == skipped || after > kMostSkippedBytes || first_.size() < skipped + kFormatBytes) break;
    skipped = after;
    readFirst(static_cast<std::size_t>(skipped) + kFormatBytes);
  }
}

void SniffedLog::readFirst(std::size_t size) {
  // A pipe may give the first bytes in several reads.
  char block[4096];
  while (first_.size() < size) {
    const std::size_t got = log_.read(block, std::min(sizeof block, size - first_.size()));
    if (got == 0) break;
    first_.append(block, got);
  }
}

std::size_t SniffedLog::read(char* into, std::size_t capacity) {
  if (failure_) std::rethrow_exception(failure_);
  if (handedOut_ == first_.size()) return log_.read(into, capacity);
  const std::size_t n = std::min(capacity, first_.size() - handedOut_);
  std::memcpy(into, first_.data() + handedOut_, n);
  handedOut_ += n;
  // The rest of the block from the log itself, so that its reads stay whole blocks.
  // A failure there waits for the next read, so that the first bytes come out first.
  if (n < capacity && handedOut_ == first_.size() && first_.size() >= kFormatBytes) {
    try {
      return n + log_.read(into + n, capacity - n);
    } catch (...) {
      failure_ = std::current_exception();
    }
  }
  return n;
}
