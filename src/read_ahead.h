#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "byte_source.h"

// Reads a byte source on a thread of its own, a few blocks ahead of the
// reader: a compressed log is decompressed on one core while its lines are
// split on another. The bytes come out as the source gave them, and a
// failure of the source comes out after every byte it gave before it.
class ReadAhead : public ByteSource {
 public:
  // Starts the thread; throws what starting a thread throws.
  explicit ReadAhead(ByteSource& source, std::size_t blockSize = std::size_t{256} * 1024,
                     std::size_t blocks = 4);
  // Stops the thread once its read in progress returns.
  ~ReadAhead() override;
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  std::size_t read(char* into, std::size_t capacity) override;

 private:
  struct Block {
    std::vector<char> bytes;
    std::size_t size = 0;  // filled
    std::size_t taken = 0;
  };

  void work();

  ByteSource& source_;
  std::vector<Block> blocks_;  // a ring
  std::size_t first_ = 0;      // the oldest filled block
  std::size_t filled_ = 0;     // blocks filled and not yet taken whole
  bool atEnd_ = false;         // the source gave its last byte, or failed
  std::exception_ptr failure_;
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};
