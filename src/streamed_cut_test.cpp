#include "streamed_cut.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "reference_rewrite.h"

namespace {

// Random lines read in random pieces give the reduced line and the index
// the reference gives the whole line; where the pieces so far say the cut is
// decided, it is that of the whole line. The shapes reach past the 64 bytes
// searched at once, and pile up groups that wait on the same commas.
TEST(StreamedCut, AgreesWithTheLiteralAlgorithmWhateverThePieces) {
  std::mt19937 random(2026);
  const struct {
    const char* alphabet;
    std::size_t shortest, longest;
    const char* inserted;
  } shapes[] = {
      {"(),,,0123 -+x", 0, 30, "(1,22,-3,4)"},
      {"(),,,0123456789 -+x", 60, 200, "(1,2,3,1)"},
      {"()()(),x ", 100, 400, ",,"},
      {"x,,( 7)", 30, 300, "(5, 6,7,  8)"},
  };
  std::string line, expectedOut;
  for (const auto& shape : shapes) {
    const std::string alphabet = std::string(shape.alphabet) + '\0';
    for (int trial = 0; trial < 20000; ++trial) {
      line.resize(shape.shortest + random() % (shape.longest - shape.shortest + 1));
      for (char& c : line) c = alphabet[random() % alphabet.size()];
      if (trial % 2) line.replace(random() % (line.size() + 1), 0, shape.inserted);
      const std::size_t most = 1 + random() % 80;
      for (bool useFirst : {false, true}) {
        constexpr int kKept = 12345;
        int expectedIndex = kKept;
        referenceRewrite(line, expectedIndex, expectedOut, useFirst);
        StreamedCut streamed(useFirst);
        std::size_t added = 0;
        while (added < line.size() && !streamed.decided()) {
          const std::size_t piece = 1 + random() % most;
          streamed.add(std::string_view(line).substr(added, piece));
          added += std::min(piece, line.size() - added);
        }
        const LongLineCut cut = streamed.cut();
        const std::string out = line.substr(0, cut.cutBegin) + line.substr(cut.cutEnd);
        ASSERT_EQ(cut.indexAfter(kKept), expectedIndex) << "'" << line << "' useFirst " << useFirst;
        ASSERT_EQ(out, expectedOut) << "'" << line << "' useFirst " << useFirst;
        // The coordinate marked is the one the index was read from.
        if (cut.hasNumber) {
          int marked = kKept;
          std::string ignored;
          referenceRewrite("(" + line.substr(cut.numberBegin, cut.numberEnd - cut.numberBegin) + ",0,0,0)",
                           marked, ignored, true);
          ASSERT_EQ(marked, expectedIndex) << "'" << line << "' useFirst " << useFirst;
        }
      }
    }
  }
}

}  // namespace
