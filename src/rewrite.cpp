#include "rewrite.h"

#include <array>
#include <climits>
#include <cstdint>

#include "bytes/bytes.h"

namespace {

constexpr std::size_t kNpos = std::string_view::npos;

// A forward search for one character that remembers its last answer. The
// group scan asks with ever larger starts, so a line full of '(' and no ')'
// is searched once, not once per '('.
class ForwardSearch {
 public:
  ForwardSearch(std::string_view line, char c) : line_(line), c_(c) {}

  // First position at or after `from` that holds the character, or kNpos.
  std::size_t next(std::size_t from) {
    if (known_ && from >= searchedFrom_ && (found_ == kNpos || from <= found_)) return found_;
    known_ = true;
    searchedFrom_ = from;
    found_ = nextByte(line_, from, c_);
    return found_;
  }

 private:
  std::string_view line_;
  char c_;
  bool known_ = false;
  std::size_t searchedFrom_ = 0;
  std::size_t found_ = kNpos;
};

// The first three commas after a group's start. It holds every comma between
// the start and `frontier_`, so commas between one candidate group and the
// next are found once.
class CommaWindow {
 public:
  explicit CommaWindow(std::string_view line) : line_(line) {}

  // Moves the window to the commas after `open` and fills it up to three.
  void advanceTo(std::size_t open) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      if (commas_[i] > open) commas_[kept++] = commas_[i];
    }
    count_ = kept;
    if (frontier_ <= open) frontier_ = open + 1;
    while (count_ < 3) {
      std::size_t comma = nextByte(line_, frontier_, ',');
      if (comma == kNpos) {
        frontier_ = line_.size();
        break;
      }
      commas_[count_++] = comma;
      frontier_ = comma + 1;
    }
  }

  std::size_t count() const { return count_; }
  std::size_t operator[](std::size_t i) const { return commas_[i]; }

 private:
  std::string_view line_;
  std::array<std::size_t, 3> commas_{};
  std::size_t count_ = 0;
  std::size_t frontier_ = 0;
};

// White space as the C locale's isspace sees it.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal integer the way "%d" does (white space, sign, digits) from
// position `at`, never past the line's end, and records it in `cut`.
void parseNumber(std::string_view line, std::size_t at, LineCut& cut) {
  // The usual coordinate: one digit, then something else.
  if (at + 1 < line.size() && isDigit(line[at]) && !isDigit(line[at + 1])) {
    cut.hasNumber = true;
    cut.number = line[at] - '0';
    cut.numberBegin = at;
    cut.numberEnd = at + 1;
    return;
  }
  std::size_t i = at;
  while (i < line.size() && isSpace(line[i])) ++i;
  const std::size_t begin = i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
    negative = line[i] == '-';
    ++i;
  }
  const std::size_t digits = i;
  constexpr long long kBeyondInt = static_cast<long long>(INT_MAX) + 2;
  long long value = 0;
  while (i < line.size() && isDigit(line[i])) {
    if (value < kBeyondInt) value = value * 10 + (line[i] - '0');
    ++i;
  }
  if (i == digits) return;
  cut.hasNumber = true;
  cut.numberBegin = begin;
  cut.numberEnd = i;
  if (negative) {
    cut.number = value > -static_cast<long long>(INT_MIN) ? INT_MIN : static_cast<int>(-value);
  } else {
    cut.number = value > INT_MAX ? INT_MAX : static_cast<int>(value);
  }
}

// Whether one of a candidate group's first three coordinates is empty: a
// comma right after the group's start or right after the comma before it.
bool hasEmptyCoordinate(std::size_t open, std::size_t first, std::size_t second, std::size_t third) {
  return first == open + 1 || second == first + 1 || third == second + 1;
}

// The line cut at its qualifying group: `open` is where the group starts,
// `first` and `third` its first and third commas, `close` its ')'.
LineCut qualifiedCut(std::string_view line, bool useFirst, std::size_t open, std::size_t first,
                     std::size_t third, std::size_t close) {
  LineCut cut;
  cut.qualifies = true;
  if (useFirst) {
    parseNumber(line, open + 1, cut);
    cut.cutBegin = open + 1;
    cut.cutEnd = first + 1;
  } else {
    parseNumber(line, third + 1, cut);
    cut.cutBegin = third;
    cut.cutEnd = close;
  }
  return cut;
}

LineCut unchangedCut(std::string_view line) {
  LineCut cut;
  cut.cutBegin = cut.cutEnd = line.size();
  return cut;
}

// Decides the common line, whose first '(', the three commas after it and
// its ')' all lie within the first 64 bytes, from bit masks alone. Returns
// false when the line needs the full scan; what it decides is what the full
// scan would, since it sees the first occurrences the full scan sees first.
bool quickCut(std::string_view line, bool useFirst, const ByteWindow& window, LineCut& cut) {
  if (window.opens == 0) return false;
  const auto open = static_cast<std::size_t>(__builtin_ctzll(window.opens));
  const std::uint64_t after = open == 63 ? 0 : ~std::uint64_t{0} << (open + 1);
  std::uint64_t commas = window.commas & after;
  std::size_t found[3];
  for (std::size_t& comma : found) {
    if (commas == 0) return false;
    comma = static_cast<std::size_t>(__builtin_ctzll(commas));
    commas &= commas - 1;
  }
  const std::size_t first = found[0], third = found[2];
  if (hasEmptyCoordinate(open, first, found[1], third)) {
    cut = unchangedCut(line);
    return true;
  }
  const std::uint64_t closes = window.closes & after;
  if (closes == 0) return false;
  const auto close = static_cast<std::size_t>(__builtin_ctzll(closes));
  if (third >= close) return false;
  cut = qualifiedCut(line, useFirst, open, first, third, close);
  return true;
}

// The full scan, for every line: a candidate group starts at the next '('
// (or, when none is left, right where the search starts); it needs three
// commas after it with no empty coordinate among the first three, and its
// third comma before the first ')' after the start. Too few commas end the
// scan; a ')' before the third comma moves the search past that ')'.
LineCut fullCut(std::string_view line, bool useFirst) {
  ForwardSearch opens(line, '(');
  ForwardSearch closes(line, ')');
  CommaWindow commas(line);
  std::size_t start = 0;
  for (;;) {
    std::size_t open = opens.next(start);
    if (open == kNpos) open = start;
    commas.advanceTo(open);
    if (commas.count() < 3) return unchangedCut(line);
    const std::size_t first = commas[0], third = commas[2];
    if (hasEmptyCoordinate(open, first, commas[1], third)) return unchangedCut(line);
    std::size_t close = closes.next(open + 1);
    if (close == kNpos) close = open + 1;
    if (third >= close) {
      start = close + 1;
      continue;
    }
    return qualifiedCut(line, useFirst, open, first, third, close);
  }
}

}  // namespace

int findCharacter(std::string_view text, int character) {
  const std::size_t at = nextByte(text, 0, static_cast<char>(character));
  return at == kNpos ? 0 : static_cast<int>(at);
}

LineCut findLineCut(std::string_view line, bool useFirst, const ByteWindow& window) {
  LineCut cut;
  if (quickCut(line, useFirst, window, cut)) return cut;
  return fullCut(line, useFirst);
}

LineCut findLineCut(std::string_view line, bool useFirst) {
  return findLineCut(line, useFirst, windowOf(line));
}

void stringIn3Dimensions(std::string_view line, int& dimensionIndex, std::string& outLine, bool useFirst) {
  const LineCut cut = findLineCut(line, useFirst);
  dimensionIndex = cut.indexAfter(dimensionIndex);
  outLine.assign(line.substr(0, cut.cutBegin));
  outLine.append(line.substr(cut.cutEnd));
}
