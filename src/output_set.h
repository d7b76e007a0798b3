#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "buffer_arena.h"
#include "bytes/bytes.h"
#include "codecs/codec.h"
#include "open_files.h"
#include "output_names.h"
#include "output_sinks.h"

// How much memory and how many descriptors the outputs may hold.
struct OutputBudget {
  std::size_t totalBytes = 48u << 20;  // all output buffers together
  std::size_t mostPerOutput = 256u << 10;
  std::size_t leastPerOutput = 256;  // the floor when N is very large
  int mostOpen = 0;                  // 0: as many as the open-file limit allows
};

// The set of N output files, each with a buffer of its own that goes to its
// file, through the sink, in large pieces. Every failure throws Failure:
// "unable ot open NAME" when an output cannot be created, "unable to write
// NAME" when a write or a close fails.
class OutputSet {
 public:
  // Takes the memory for `count` outputs; throws std::bad_alloc when it
  // cannot. No file is touched until create().
  OutputSet(OutputNames names, int count, const OutputBudget& budget = {});
  // Completes the outputs, as finish() does, when the set is left without
  // it (a failure between create() and the end of the split); what fails
  // then is not reported, the failure that left it is.
  ~OutputSet();
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Creates (or empties) outputs 0 … count-1 in that order. When one cannot
  // be created, the ones before it stay behind, empty. With encoders, each
  // piece written out is compressed first, as a member or frame of its own,
  // and an output that gets nothing still gets one, empty. Called once,
  // before anything is appended.
  void create(std::vector<std::unique_ptr<Encoder>> encoders = {});

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

  // Writes out every buffer and closes every file, in index order. Goes on
  // past a failure, so that every other output is complete, then throws the
  // first; after a failure elsewhere, it completes what can be completed.
  void finish();

  int count() const { return static_cast<int>(outputs_.size()); }

 private:
  struct Output {
    std::uint32_t used = 0;
    std::uint32_t room = 0;
  };

  char* bufferOf(int index) const {
    return arena_.data() + std::size_t{perOutput_} * static_cast<std::size_t>(index);
  }
  void appendSlowly(int index, std::string_view head, std::string_view tail);
  void flush(int index);

  // The files outlive the sink, which writes to them from its last breath.
  OpenFiles files_;
  std::vector<Output> outputs_;
  std::uint32_t perOutput_;
  BufferArena arena_;
  std::unique_ptr<OutputSink> sink_;
  bool finishing_ = false;
};
