#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "failure.h"
#include "line_reader.h"
#include "messages.h"
#include "rewrite.h"

// Reads every line of `reader`, rewrites it and routes it: the reduced line
// goes to the output its index names, or to every output when the index is -1.
// `Outputs` has count(), append(index, head, tail), appendToAll(head, tail) and
// finish(); the program passes its OutputSet, tests and fuzzers a set in memory.
// A coordinate outside -1 … count()-1 stops the run with Failure after the
// lines before it have been written out; so does a read error, a line too
// long for memory (std::bad_alloc), and a write that fails, after which the
// other outputs are completed.
// Always inlined into its caller: there the reader and the outputs are the
// caller's own objects, so the compiler keeps their positions in registers
// across the per-line copies, which through a reference it must reload after
// every store; left to itself, gcc stops inlining once run() grows.
template <class Outputs>
[[gnu::always_inline]] inline void splitLines(LineReader& reader, Outputs& outputs, bool useFirst) {
  const int dimensionLength = outputs.count();
  int dimensionIndex = -1;  // before the first line: broadcast
  std::uint64_t lineNumber = 0;
  std::string_view line;
  ByteWindow window;
  for (;;) {
    try {
      if (!reader.next(line, window)) break;
    } catch (...) {
      // A read error, or a line longer than memory holds: what came before it is kept.
      outputs.finish();
      throw;
    }
    ++lineNumber;
    const LineCut cut = findLineCut(line, useFirst, window);
    if (cut.hasNumber && (cut.number < -1 || cut.number >= dimensionLength)) {
      outputs.finish();
      throw Failure(indexOutsideMessage(line.substr(cut.numberBegin, cut.numberEnd - cut.numberBegin),
                                        lineNumber, dimensionLength));
    }
    dimensionIndex = cut.indexAfter(dimensionIndex);
    const std::string_view head = line.substr(0, cut.cutBegin);
    const std::string_view tail = line.substr(cut.cutEnd);
    if (dimensionIndex < 0) {
      outputs.appendToAll(head, tail);
    } else {
      outputs.append(dimensionIndex, head, tail);
    }
  }
  outputs.finish();
}
