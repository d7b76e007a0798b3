#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bytes/bytes.h"
#include "failure.h"
#include "held_line.h"
#include "line_reader.h"
#include "messages.h"
#include "rewrite.h"
#include "streamed_cut.h"

// Routes a line longer than the reader holds (`first`, its first bytes, the
// rest from the reader) as it would route it whole. Its cut is searched for
// as its pieces come, while they are in memory. Once the bytes so far decide
// the cut, what came of the line is routed (from `first`, or read back from
// where `held` keeps it) and the rest goes straight to its output or outputs
// as it is read; a line undecided to its end is held whole first. Kept out
// of line: it is rare.
template <class Outputs>
[[gnu::noinline]] void splitHeldLine(LineReader& reader, std::string_view first, HeldLine& held,
                                     Outputs& outputs, bool useFirst, int& dimensionIndex,
                                     std::uint64_t lineNumber) {
  const int dimensionLength = outputs.count();
  const auto route = [&](std::string_view bytes) {
    if (dimensionIndex < 0) {
      outputs.appendToAll(bytes, {});
    } else {
      outputs.append(dimensionIndex, bytes, {});
    }
  };
  StreamedCut search(useFirst);
  search.add(first);
  const bool holding = !search.decided();
  std::string_view piece;
  LongLineCut cut;
  try {
    if (holding) {
      held.start(reader.longLineOffset());
      held.append(first);
      while (!search.decided() && reader.nextPiece(piece)) {
        held.append(piece);
        search.add(piece);
      }
    }
    cut = search.cut();
    if (cut.hasNumber && (cut.number < -1 || cut.number >= dimensionLength)) {
      std::string coordinate;
      const auto keep = [&](std::string_view bytes) { coordinate += bytes; };
      if (holding) {
        held.forEachPiece(cut.numberBegin, cut.numberEnd, keep);
      } else {
        keep(first.substr(cut.numberBegin, cut.numberEnd - cut.numberBegin));
      }
      throw Failure(indexOutsideMessage(coordinate, lineNumber, dimensionLength));
    }
    dimensionIndex = cut.indexAfter(dimensionIndex);
    if (holding) {
      held.forEachPiece(0, cut.cutBegin, route);
      held.forEachPiece(cut.cutEnd, held.size(), route);
    } else {
      route(first.substr(0, cut.cutBegin));
      route(first.substr(cut.cutEnd));
    }
    while (reader.nextPiece(piece)) route(piece);
  } catch (...) {
    // A read error, an index outside the outputs, or the held line not
    // written or read back: what came before it is kept. A line decided
    // before a read error is written up to it.
    outputs.finish();
    throw;
  }
}

// Reads every line of `reader`, rewrites it and routes it: the reduced line
// goes to the output its index names, or to every output when the index is -1.
// `Outputs` has count(), append(index, head, tail), appendToAll(head, tail) and
// finish(); the program passes its OutputSet, tests and fuzzers a set in memory.
// A line longer than the reader holds goes through `held`, and comes out as
// it would have whole.
// A coordinate outside -1 … count()-1 stops the run with Failure after the
// lines before it have been written out; so does a read error, a held line
// that cannot be written or read back, and a write that fails, after which
// the other outputs are completed.
// Always inlined into its caller: there the reader and the outputs are the
// caller's own objects, so the compiler keeps their positions in registers
// across the per-line copies, which through a reference it must reload after
// every store; left to itself, gcc stops inlining once run() grows.
template <class Outputs>
[[gnu::always_inline]] inline void splitLines(LineReader& reader, HeldLine& held, Outputs& outputs,
                                              bool useFirst) {
  const int dimensionLength = outputs.count();
  int dimensionIndex = -1;  // before the first line: broadcast
  std::uint64_t lineNumber = 0;
  std::string_view line;
  ByteWindow window;
  for (;;) {
    Found found = Found::end;
    try {
      found = reader.next(line, window);
    } catch (...) {
      // A read error: what came before it is kept.
      outputs.finish();
      throw;
    }
    if (found == Found::end) break;
    ++lineNumber;
    if (found == Found::longLine) {
      splitHeldLine(reader, line, held, outputs, useFirst, dimensionIndex, lineNumber);
      continue;
    }
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
