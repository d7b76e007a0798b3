#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bytes/window.h"

// Returns the zero-based position of the first `character` in `text`, and 0
// when it does not occur. A match at position 0 and no match give the same 0;
// the output names rely on exactly that. Every byte of
// `text` is compared, NUL included, so a NUL is found where it stands and a
// search for NUL in a text that holds none gives 0.
int findCharacter(std::string_view text, int character);

// Where the first qualifying coordinate group of a line is cut. The reduced
// line is always the line with one contiguous run removed:
// line[0, cutBegin) followed by line[cutEnd, end). A line without a qualifying
// group has cutBegin == cutEnd == line.size(), so it passes whole. Positions
// are `Position`s: std::size_t for a line in memory, 64 bits for a line held
// outside it, which may be longer than a 32-bit address space.
template <class Position>
struct BasicLineCut {
  bool qualifies = false;
  Position cutBegin = 0;
  Position cutEnd = 0;
  // Whether a decimal integer stands where the selecting coordinate begins
  // (leading white space skipped, optional sign). When it does not, the caller
  // keeps the index it had.
  bool hasNumber = false;
  // The integer, saturated to the int range, so a coordinate too large for an
  // int comes out as INT_MAX or INT_MIN.
  int number = 0;
  // The coordinate's sign and digits as they stand in the line.
  Position numberBegin = 0;
  Position numberEnd = 0;

  // The index a line is routed by, given the index the previous line left:
  // -1 without a qualifying group, the parsed coordinate when there is one,
  // and the previous index when the coordinate is not an integer.
  int indexAfter(int previousIndex) const {
    if (!qualifies) return -1;
    return hasNumber ? number : previousIndex;
  }
};
using LineCut = BasicLineCut<std::size_t>;
using LongLineCut = BasicLineCut<std::uint64_t>;

// Finds the first qualifying group of `line` and the run that the rewrite
// removes: from the third comma up to the ')' in normal mode, the first
// coordinate and its comma with `useFirst`. Runs in time linear in the line.
LineCut findLineCut(std::string_view line, bool useFirst);
// The same, given the window of the line's first 64 bytes (its bits past the
// line's end clear), as the line reader hands it out.
LineCut findLineCut(std::string_view line, bool useFirst, const ByteWindow& window);

// Rewrites one line: `outLine` (the caller's, reused from line to line)
// receives the reduced line and `dimensionIndex` the index it is routed by,
// -1 when no group qualifies, unchanged when the selecting coordinate is not
// an integer. Never fails and never makes the line longer.
void stringIn3Dimensions(std::string_view line, int& dimensionIndex, std::string& outLine, bool useFirst);
