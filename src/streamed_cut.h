#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rewrite.h"

// The cut of a line read forward once, a piece at a time, as findLineCut
// would give it for the whole line: so that a line longer than memory is
// searched while its pieces are in memory, and read again only to be routed.
// It follows the candidate groups that the full scan would try, each
// waiting for the bytes that settle it; a candidate's outcome that rests on
// a '(' not coming later is held until the line ends. At most a few
// candidates are open at once, whatever the line holds.
class StreamedCut {
 public:
  explicit StreamedCut(bool useFirst);

  // The line's next bytes.
  void add(std::string_view piece);
  // Whether the bytes so far decide the cut of every line they begin.
  bool decided() const;
  // The cut, once decided() or at the line's end (when it ends with the
  // bytes added). Positions count from the line's first byte added; a line
  // without a qualifying group has cutBegin == cutEnd == the bytes added.
  LongLineCut cut() const;

 private:
  enum class Outcome { open, next, unchanged, qualified };
  // A coordinate read as "%d" reads it, a byte at a time: white space, a
  // sign, digits.
  struct Number {
    enum class Stage { waiting, space, sign, digits, done };
    Stage stage = Stage::done;
    std::uint64_t from = 0;  // where reading begins
    bool has = false;
    bool negative = false;
    long long value = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
  };
  // One group the scan tries: from its '(' (or, where none comes, from
  // the position the scan starts at), its first three commas and its ')'.
  struct Candidate {
    bool seeking = false;  // its '(' not come yet
    std::uint64_t open = 0;
    std::uint64_t commas[3] = {};
    int commaCount = 0;
    bool closed = false;
    std::uint64_t close = 0;
    Outcome outcome = Outcome::open;
    Number number;
  };

  Candidate opened(std::uint64_t open);
  void onEvent(std::uint64_t at, char c);
  void onComma(std::vector<Candidate>& chain, std::uint64_t at);
  void onClose(std::vector<Candidate>& chain, std::uint64_t at, bool hypothetical);
  static void readNumber(Number& number, std::string_view bytes, std::uint64_t base);
  void startNumber(Candidate& candidate, std::uint64_t from);
  static void settle(std::vector<Candidate>& chain);
  LongLineCut cutOf(const Candidate& candidate) const;

  bool useFirst_;
  std::uint64_t size_ = 0;
  std::string_view piece_;  // the piece being added, at size_
  // The groups the scan tries in turn: each but the last waits for commas,
  // its ')' come before its third. The last may still be seeking its '(':
  // `fallback_` then follows the candidates that begin where it does, for
  // when no '(' comes.
  std::vector<Candidate> chain_;
  std::vector<Candidate> fallback_;
};
