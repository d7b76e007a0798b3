#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "codec.h"

// A pool of threads, each with an encoder of its own, that compresses the
// pieces of the outputs while the caller goes on splitting, and hands the
// members back to the caller's `write` in the order the pieces were given,
// on the caller's thread: the files are only ever touched there. A few
// pieces for each thread at most are in flight, so memory stays flat. Once
// a piece of an output has failed (to compress, or to be written), no later
// piece of that output is handed back, so that no output has a gap.
class EncoderPool {
 public:
  using Write = std::function<void(int index, std::string_view compressed)>;

  // One thread for each encoder but the first, which the caller's thread
  // uses to compress a piece itself rather than wait for one. Where the
  // system cannot start them all, the pool works with those it started, or
  // with none: the caller's thread then compresses every piece.
  EncoderPool(std::vector<std::unique_ptr<Encoder>> encoders, Write write);
  // Stops the threads; pieces not yet handed back are dropped (the run is
  // failing then, or everything was drained).
  ~EncoderPool();
  EncoderPool(const EncoderPool&) = delete;
  EncoderPool& operator=(const EncoderPool&) = delete;

  // Queues a copy of `plain` (at most Encoder::kMostPlain bytes) for output
  // `index`, waiting for the oldest piece when all slots are taken, then
  // hands back what is done. Throws what `write` or the encoder throws, and
  // std::bad_alloc for a copy it cannot make; whatever it throws, the piece
  // is queued, or failed in its place, so that no piece is lost unseen.
  void submit(int index, std::string_view plain);
  // Hands back every piece still queued, waiting for each; goes on past a
  // failure, then throws the first.
  void drain();

 private:
  struct Job {
    int index = 0;
    std::string plain;
    std::string compressed;
    std::exception_ptr failure;
    bool taken = false;  // by a thread, which compresses it
    bool done = false;
  };
  // Pieces in flight for each thread: one it compresses, one waiting for it,
  // and those done but not yet handed back.
  static constexpr std::size_t kSlotsPerThread = 4;

  void work(Encoder& encoder);
  // The oldest queued job no thread has taken yet, or null; under the lock.
  Job* untaken();
  // Compresses `job` with `encoder`, outside the lock, and marks it done.
  void compress(Encoder& encoder, Job& job, std::unique_lock<std::mutex>& lock);
  // Ends the threads and waits for them.
  void stop();
  // Waits for the oldest job, frees its slot and hands it to write_, unless
  // its output has failed before; throws the job's failure or write_'s.
  void handBackOldest();
  // Whether the oldest queued job is done.
  bool oldestDone();

  std::vector<std::unique_ptr<Encoder>> encoders_;
  Write write_;
  std::vector<Job> jobs_;           // a ring of slots
  std::vector<int> failedOutputs_;  // those that no piece is handed back to any more
  std::size_t oldest_ = 0;          // the oldest job not yet handed back
  std::size_t queued_ = 0;          // jobs from oldest_ on, in any state
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
};
