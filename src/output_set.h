#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include "bytes/bytes.h"
#include "codecs/codec.h"
#include "codecs/encoder_threads.h"
#include "descriptor.h"
#include "output_names.h"

// How much memory and how many descriptors the outputs may hold.
struct OutputBudget {
  std::size_t totalBytes = 48u << 20;  // all output buffers together
  std::size_t mostPerOutput = 256u << 10;
  std::size_t leastPerOutput = 256;  // the floor when N is very large
  int mostOpen = 0;                  // 0: as many as the open-file limit allows
};

// Anonymous memory mapped for the output buffers. A page costs memory only
// once something is written to it, so outputs that get nothing cost nothing,
// and every buffer of a page or more starts on a page.
class BufferArena {
 public:
  // Maps `size` bytes; throws std::bad_alloc when it cannot.
  explicit BufferArena(std::size_t size);
  ~BufferArena();
  BufferArena(const BufferArena&) = delete;
  BufferArena& operator=(const BufferArena&) = delete;

  char* data() const { return data_; }

 private:
  char* data_;
  std::size_t size_;
};

// The set of N output files. Each has a buffer of its own, written out in
// large pieces; when there are more outputs than descriptors, a bounded number
// stay open and the others are reopened for appending when their buffers are
// written, so every file ends up as if all had been open all along. With an
// encoder, every piece written out is compressed first, as a member or frame
// of its own, on the encoders' threads while the split goes on, and an output
// that gets nothing still gets one, empty. Every
// failure throws Failure: "unable ot open NAME" when an output cannot be
// created, "unable to write NAME" when a write or a close fails.
class OutputSet {
 public:
  // Creates (or empties) outputs 0 … count-1 in that order. When one cannot
  // be created, the ones before it stay behind, empty. With `inputFd`, it
  // first throws Failure "error using tovlak: output NAME is the input log"
  // when an output name leads, through links or not, to that file, so the
  // log is never emptied.
  OutputSet(OutputNames names, int count, const OutputBudget& budget = {}, int inputFd = -1,
            std::vector<std::unique_ptr<Encoder>> encoders = {});
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Appends head then tail to output `index` (0 ≤ index < count).
  void append(int index, std::string_view head, std::string_view tail) {
    Output& output = outputs_[static_cast<std::size_t>(index)];
    const std::size_t length = head.size() + tail.size();
    if (length > output.room) {
      appendSlowly(index, head, tail);
      return;
    }
    char* at = bufferOf(index) + output.used;
    copyBytes(at, head.data(), head.size());
    copyBytes(at + head.size(), tail.data(), tail.size());
    output.used += static_cast<std::uint32_t>(length);
    output.room -= static_cast<std::uint32_t>(length);
  }

  // Appends head then tail to every output, 0 first.
  void appendToAll(std::string_view head, std::string_view tail);

  // Writes out every buffer and closes every file, in index order.
  void finish();

  int count() const { return static_cast<int>(outputs_.size()); }

 private:
  struct Output {
    std::uint32_t used = 0;
    std::uint32_t room = 0;
    // Closed unchecked when the set goes without finish(): the run is
    // failing already.
    Descriptor fd;
    bool written = false;  // compressed: whether a member has been queued for it
  };

  char* bufferOf(int index) const {
    return arena_.data() + std::size_t{perOutput_} * static_cast<std::size_t>(index);
  }
  void appendSlowly(int index, std::string_view head, std::string_view tail);
  void flush(int index);
  // Writes `plain` out, through the encoder when there is one.
  void writeOut(int index, std::string_view plain);
  void writeAll(int index, std::string_view bytes);
  void ensureOpen(int index);
  void closeOutput(int index);
  // Closes the output that has been open longest, to free a descriptor.
  void evictOne();
  // Opens with `flags`, freeing descriptors while the process has none left.
  int openFreeing(int index, int flags);

  OutputNames names_;
  std::unique_ptr<EncoderThreads> encoder_;  // none for plain outputs
  std::vector<Output> outputs_;
  std::uint32_t perOutput_;
  BufferArena arena_;
  int mostOpen_;
  int openCount_ = 0;
  std::deque<int> openOrder_;  // may hold outputs closed since; they are skipped
};
