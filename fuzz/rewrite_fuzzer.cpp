// Feeds arbitrary bytes, as one line, to the group rewrite in both modes and
// holds it to the reference rewrite, which is written independently, step by
// step as the algorithm reads: the same reduced line, the same index, and a
// coordinate marked where the reference reads it. Every start of the line
// that findDecidedCut says decides the cut gives the line as the reference
// rewrites it whole, whatever follows that start.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reference_rewrite.h"
#include "rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string out, expectedOut;
  for (bool useFirst : {false, true}) {
    constexpr int kKept = 12345;  // what a coordinate that is no integer leaves
    int index = kKept, expectedIndex = kKept;
    stringIn3Dimensions(line, index, out, useFirst);
    referenceRewrite(line, expectedIndex, expectedOut, useFirst);
    if (index != expectedIndex || out != expectedOut) std::abort();
    // The coordinate findLineCut marks is the one the index was read from.
    const LineCut cut = findLineCut(line, useFirst);
    if (cut.hasNumber) {
      int marked = kKept;
      std::string ignored;
      const std::string_view number = line.substr(cut.numberBegin, cut.numberEnd - cut.numberBegin);
      referenceRewrite("(" + std::string(number) + ",0,0,0)", marked, ignored, true);
      if (marked != expectedIndex) std::abort();
    }
    for (std::size_t length = 0; length <= line.size(); length += 1 + length / 16) {
      LineCut early;
      if (!findDecidedCut(line.substr(0, length), useFirst, early)) continue;
      const std::string whole =
          std::string(line.substr(0, early.cutBegin)) + std::string(line.substr(early.cutEnd));
      if (early.indexAfter(kKept) != expectedIndex || whole != expectedOut) std::abort();
    }
  }
  return 0;
}
