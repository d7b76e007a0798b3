// Feeds arbitrary bytes, as one line, to the group rewrite in both modes and
// holds it to the reference rewrite, which is written independently, step by
// step as the algorithm reads: the same reduced line, the same index, and a
// coordinate marked where the reference reads it. The line read in pieces
// (of sizes its bytes choose) gives the same cut, and every start of it
// that the pieces say decides the cut gives the line as the reference
// rewrites it whole, whatever follows that start.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reference_rewrite.h"
#include "rewrite.h"
#include "streamed_cut.h"

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
    // Piece sizes from the line's own bytes, so the fuzzer steers them too.
    StreamedCut streamed(useFirst);
    std::string whole;
    for (std::size_t at = 0, piece = 1; at < line.size(); at += piece) {
      piece = 1 + static_cast<unsigned char>(line[at]) % 7;
      if (streamed.decided()) break;
      streamed.add(line.substr(at, piece));
      if (!streamed.decided()) continue;
      const LongLineCut early = streamed.cut();  // decided: whatever follows
      whole = std::string(line.substr(0, early.cutBegin)) + std::string(line.substr(early.cutEnd));
      if (early.indexAfter(kKept) != expectedIndex || whole != expectedOut) std::abort();
    }
    const LongLineCut streamedCut = streamed.cut();
    whole = std::string(line.substr(0, streamedCut.cutBegin)) + std::string(line.substr(streamedCut.cutEnd));
    if (streamedCut.indexAfter(kKept) != expectedIndex || whole != expectedOut ||
        streamedCut.hasNumber != cut.hasNumber || streamedCut.numberBegin != cut.numberBegin ||
        streamedCut.numberEnd != cut.numberEnd) {
      std::abort();
    }
  }
  return 0;
}
