#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "byte_source.h"

// Bytes held in memory as a log, handed out at most `mostPerRead` at a time,
// so that tests can cut the log into reads anywhere.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes, std::size_t mostPerRead = SIZE_MAX)
      : bytes_(bytes), mostPerRead_(mostPerRead) {}

  std::size_t read(char* into, std::size_t capacity) override {
    const std::size_t n = std::min({capacity, mostPerRead_, bytes_.size()});
    std::memcpy(into, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view bytes_;
  std::size_t mostPerRead_;
};
