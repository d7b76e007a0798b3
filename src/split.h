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

// Routes a line longer than the reader holds (`first`, its first bytes, the
// rest from the reader) as it would route it whole. Where its first bytes
// decide its cut, it goes straight to its output or outputs as it is read;
// else it is held in `held` to its end, then cut and routed, read back a
// piece at a time. Kept out of line: it is rare.
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
  if (LineCut early; findDecidedCut(first, useFirst, early)) {
    if (early.hasNumber && (early.number < -1 || early.number >= dimensionLength)) {
      outputs.finish();
      throw Failure(indexOutsideMessage(first.substr(early.numberBegin, early.numberEnd - early.numberBegin),
                                        lineNumber, dimensionLength));
    }
    dimensionIndex = early.indexAfter(dimensionIndex);
    route(first.substr(0, early.cutBegin));
    route(first.substr(early.cutEnd));
    std::string_view piece;
    try {
      while (reader.nextPiece(piece)) route(piece);
    } catch (...) {
      outputs.finish();  // a read error: the line is written up to it
      throw;
    }
    return;
  }
  // Its commas are counted up to three on the way, while its pieces are in
  // memory: a line with fewer has no qualifying group, whatever it holds,
  // so it needs no search of its own (a hole of NUL bytes, a '(' and no comma).
  std::size_t commas = 0;
  const auto count = [&](std::string_view bytes) {
    for (std::size_t at = 0; commas < 3; ++commas, ++at) {
      at = nextByte(bytes, at, ',');
      if (at == std::string_view::npos) break;
    }
  };
  LongLineCut cut;
  try {
    held.start(reader.longLineOffset());
    held.append(first);
    count(first);
    std::string_view piece;
    while (reader.nextPiece(piece)) {
      held.append(piece);
      count(piece);
    }
    if (commas < 3) {
      cut.cutBegin = cut.cutEnd = held.size();
    } else {
      cut = findLineCut(held, useFirst);
    }
  } catch (...) {
    // A read error, or the held line not written or read back: what came
    // before it is kept.
    outputs.finish();
    throw;
  }
  if (cut.hasNumber && (cut.number < -1 || cut.number >= dimensionLength)) {
    std::string coordinate;
    held.forEachPiece(cut.numberBegin, cut.numberEnd, [&](std::string_view bytes) { coordinate += bytes; });
    outputs.finish();
    throw Failure(indexOutsideMessage(coordinate, lineNumber, dimensionLength));
  }
  dimensionIndex = cut.indexAfter(dimensionIndex);
  held.forEachPiece(0, cut.cutBegin, route);
  held.forEachPiece(cut.cutEnd, held.size(), route);
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
