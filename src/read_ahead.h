#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <memory>
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
  // Starts the thread, which shares the source; throws what starting a
  // thread throws.
  explicit ReadAhead(std::shared_ptr<ByteSource> source, std::size_t blockSize = std::size_t{256} * 1024,
                     std::size_t blocks = 4);
  // Stops the thread without waiting for a read in progress, which may never
  // return (a pipe whose writer sleeps): the thread then ends once it does,
  // or with the process, holding the source and its blocks until then.
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
  // What the thread and the reader share, which lives as long as either.
  struct Shared {
    std::shared_ptr<ByteSource> source;
    std::vector<Block> blocks;  // a ring
    std::size_t first = 0;      // the oldest filled block
    std::size_t filled = 0;     // blocks filled and not yet taken whole
    bool atEnd = false;         // the source gave its last byte, or failed
    bool reading = false;       // the thread is in a read of the source
    std::exception_ptr failure;
    bool stopping = false;
    std::mutex mutex;
    std::condition_variable changed;
  };

  static void work(Shared& shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};
