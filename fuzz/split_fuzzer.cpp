// Feeds arbitrary bytes as a whole log through the loop the program runs,
// read in blocks and pieces of sizes the input chooses, lines longer than a
// bound it chooses too held in temporary files, with outputs held in memory, and holds every output to what
// the reference split writes: every byte the rewrite keeps, in the output its index names or in all of them,
// up to a coordinate outside the outputs, which must stop the run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "failure.h"
#include "line_reader.h"
#include "memory_outputs.h"
#include "memory_source.h"
#include "reference_rewrite.h"
#include "split.h"
#include "temporary_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int count = 1 + data[0] % 16;
  const bool useFirst = data[1] & 1;
  const std::string_view log(reinterpret_cast<const char*>(data) + 2, size - 2);
  MemorySource source(log, 1 + data[1] / 2);
  // Lines of a few bytes held outside memory, or of many, or none.
  static const std::size_t kMostHeld[] = {1, 8, 40, LineReader::kMostHeld};
  LineReader reader(source, 1 + data[1] % 64, kMostHeld[data[0] / 16 % 4]);
  static const TemporaryDirectory directory;
  HeldLine held(directory.path().string() + "/");
  MemoryOutputs outputs(count);
  bool failed = false;
  try {
    splitLines(reader, held, outputs, useFirst);
  } catch (const Failure&) {
    failed = true;
  }
  const ReferenceSplit expected = referenceSplit(log, count, useFirst);
  if (!outputs.finished || failed != expected.indexOutside || outputs.files != expected.files) std::abort();
  return 0;
}
