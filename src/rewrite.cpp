#include "rewrite.h"

#include <array>
#include <climits>
#include <cstring>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// First position at or after `from` that holds `c`, or npos.
std::size_t nextOf(std::string_view line, std::size_t from, char c) {
  if (from >= line.size()) return npos;
  const void* hit = std::memchr(line.data() + from, c, line.size() - from);
  return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - line.data()) : npos;
}

// A forward search for one character that remembers its last answer. The
// group scan asks with ever larger starts, so a line full of '(' and no ')'
// is searched once, not once per '('.
class ForwardSearch {
 public:
  ForwardSearch(std::string_view line, char c) : line_(line), c_(c) {}

  // First position at or after `from` that holds the character, or npos.
  std::size_t next(std::size_t from) {
    if (known_ && from >= searchedFrom_ && (found_ == npos || from <= found_)) return found_;
    known_ = true;
    searchedFrom_ = from;
    found_ = nextOf(line_, from, c_);
    return found_;
  }

 private:
  std::string_view line_;
  char c_;
  bool known_ = false;
  std::size_t searchedFrom_ = 0;
  std::size_t found_ = npos;
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
      std::size_t comma = nextOf(line_, frontier_, ',');
      if (comma == npos) {
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

// Reads a decimal integer the way "%d" does (white space, sign, digits) from
// position `at`, never past the line's end, and records it in `cut`.
void parseNumber(std::string_view line, std::size_t at, LineCut& cut) {
  std::size_t i = at;
  while (i < line.size() && isSpace(line[i])) ++i;
  const std::size_t begin = i;
  bool negative = false;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
    negative = line[i] == '-';
    ++i;
  }
  const std::size_t digits = i;
  constexpr long long beyondInt = static_cast<long long>(INT_MAX) + 2;
  long long value = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    if (value < beyondInt) value = value * 10 + (line[i] - '0');
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

}  // namespace

int findCharacter(std::string_view text, int character) {
  const std::size_t at = nextOf(text, 0, static_cast<char>(character));
  return at == npos ? 0 : static_cast<int>(at);
}

// The scan: a candidate group starts at the next '(' (or, when none is left,
// right where the search starts); it needs three commas after it with no empty
// coordinate among the first three, and its third comma before the first ')'
// after the start. Too few commas end the scan; a ')' before the third comma
// moves the search past that ')'.
LineCut findLineCut(std::string_view line, bool useFirst) {
  LineCut cut;
  cut.cutBegin = cut.cutEnd = line.size();
  ForwardSearch opens(line, '(');
  ForwardSearch closes(line, ')');
  CommaWindow commas(line);
  std::size_t start = 0;
  for (;;) {
    std::size_t open = opens.next(start);
    if (open == npos) open = start;
    commas.advanceTo(open);
    if (commas.count() < 3) return cut;
    const std::size_t first = commas[0], second = commas[1], third = commas[2];
    if (first == open + 1 || second == first + 1 || third == second + 1) return cut;
    std::size_t close = closes.next(open + 1);
    if (close == npos) close = open + 1;
    if (third >= close) {
      start = close + 1;
      continue;
    }
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
}

void stringIn3Dimensions(std::string_view line, int& dimensionIndex, std::string& outLine, bool useFirst) {
  const LineCut cut = findLineCut(line, useFirst);
  dimensionIndex = cut.indexAfter(dimensionIndex);
  outLine.assign(line.substr(0, cut.cutBegin));
  outLine.append(line.substr(cut.cutEnd));
}
