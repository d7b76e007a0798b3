#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "codecs/codec.h"
#include "open_files.h"

// Where the outputs' full buffers go, in the order they fill: written to the
// files as they are, or compressed first.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Takes the next bytes of output `index`. Throws Failure when a write
  // fails; with compression, the write may be that of an earlier piece.
  virtual void take(int index, std::string_view plain) = 0;
  // After the last piece: completes every output and closes its file,
  // checked. Goes on past a failure, so that every other output is complete,
  // then throws the first.
  virtual void finish() = 0;
};

// Writes each piece to its file as it comes.
std::unique_ptr<OutputSink> plainSink(OpenFiles& files);

// Compresses each piece as a gzip member or zstd frame of its own, on a
// thread of the pool for each encoder while the split goes on, and writes
// the members in order; an output that gets nothing gets one, empty.
std::unique_ptr<OutputSink> compressedSink(OpenFiles& files, std::vector<std::unique_ptr<Encoder>> encoders);
