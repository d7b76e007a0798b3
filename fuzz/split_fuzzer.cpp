// Feeds arbitrary bytes as a whole log through the same loop the program
// runs, with outputs held in memory, and checks that every byte the rewrite
// does not remove reaches an output: each line's reduced form is in the output
// its index names, or in all of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "failure.h"
#include "line_reader.h"
#include "memory_outputs.h"
#include "split.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int count = 1 + data[0] % 16;
  const bool useFirst = data[1] & 1;
  const std::string_view log(reinterpret_cast<const char*>(data) + 2, size - 2);
  MemorySource source(log, 1 + data[1] / 2);
  LineReader reader(source, 1 + data[1] % 64);
  MemoryOutputs outputs(count);
  bool failed = false;
  try {
    splitLines(reader, outputs, useFirst);
  } catch (const Failure&) {
    failed = true;
  }
  if (!outputs.finished) std::abort();
  // Replay the lines, split here by a plain search, to build what each
  // output must hold.
  std::string expected[16];
  int index = -1;
  std::string reduced;
  for (std::size_t at = 0; at < log.size();) {
    const std::size_t newline = log.find('\n', at);
    const std::size_t end = newline == std::string_view::npos ? log.size() : newline + 1;
    const std::string_view line = log.substr(at, end - at);
    at = end;
    const LineCut cut = findLineCut(line, useFirst);
    if (cut.hasNumber && (cut.number < -1 || cut.number >= count)) {
      if (!failed) std::abort();
      break;
    }
    stringIn3Dimensions(line, index, reduced, useFirst);
    for (int i = 0; i < count; ++i) {
      if (index == -1 || index == i) expected[i] += reduced;
    }
  }
  for (int i = 0; i < count; ++i) {
    if (outputs.files[static_cast<std::size_t>(i)] != expected[i]) std::abort();
  }
  return 0;
}
