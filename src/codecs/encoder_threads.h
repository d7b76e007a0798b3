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

// Compresses the pieces of the outputs on threads of their own, each with an
// encoder of its own, while the caller goes on splitting, and hands the
// members back to the caller's `write` in the order the pieces were given,
// on the caller's thread: the files are only ever touched there. A few
// pieces at most are in flight, so memory stays flat.
class EncoderThreads {
 public:
  using Write = std::function<void(int index, std::string_view compressed)>;

  // One thread for each encoder; throws std::bad_alloc when the system
  // cannot start them.
  EncoderThreads(std::vector<std::unique_ptr<Encoder>> encoders, Write write);
  // Stops the threads; pieces not yet handed back are dropped (the run is
  // failing then, or everything was drained).
  ~EncoderThreads();
  EncoderThreads(const EncoderThreads&) = delete;
  EncoderThreads& operator=(const EncoderThreads&) = delete;

  // Queues a copy of `plain` (at most Encoder::kMostPlain bytes) for output
  // `index`. First hands back what is done, waiting for the oldest piece when
  // all slots are taken. Throws what `write` or the encoder throws.
  void submit(int index, std::string_view plain);
  // Hands back every piece still queued, waiting for each.
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
  static constexpr std::size_t kSlots = 8;

  void work(Encoder& encoder);
  // Ends the threads and waits for them.
  void stop();
  // Waits for the oldest job, hands it to write_ and frees its slot.
  void handBackOldest();

  std::vector<std::unique_ptr<Encoder>> encoders_;
  Write write_;
  std::vector<Job> jobs_;   // a ring of kSlots
  std::size_t oldest_ = 0;  // the oldest job not yet handed back
  std::size_t queued_ = 0;  // jobs from oldest_ on, in any state
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
};
