#include "rewrite.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "bytes/bytes.h"

namespace {

constexpr std::size_t kNpos = std::string_view::npos;

// A line in memory as the full scan reads it: its size, a forward search
// for a character (none: the position type's largest value), a byte.
class ViewText {
 public:
  using Position = std::size_t;
  explicit ViewText(std::string_view line) : line_(line) {}
  Position size() const { return line_.size(); }
  Position find(Position from, char c) const { return nextByte(line_, from, c); }
  char at(Position i) const { return line_[i]; }

 private:
  std::string_view line_;
};

// None, for a text's positions.
template <class Position>
constexpr Position kNone = static_cast<Position>(-1);

// A forward search for one character that remembers its last answer. The
// group scan asks with ever larger starts, so a line full of '(' and no ')'
// is searched once, not once per '('.
template <class Text>
class ForwardSearch {
 public:
  using Position = typename Text::Position;
  ForwardSearch(Text& line, char c) : line_(line), c_(c) {}

  // First position at or after `from` that holds the character, or none.
  Position next(Position from) {
    if (known_ && from >= searchedFrom_ && (found_ == kNone<Position> || from <= found_)) return found_;
    known_ = true;
    searchedFrom_ = from;
    found_ = line_.find(from, c_);
    return found_;
  }

 private:
  Text& line_;
  char c_;
  bool known_ = false;
  Position searchedFrom_ = 0;
  Position found_ = kNone<Position>;
};

// The first three commas after a group's start. It holds every comma between
// the start and `frontier_`, so commas between one candidate group and the
// next are found once.
template <class Text>
class CommaWindow {
 public:
  using Position = typename Text::Position;
  explicit CommaWindow(Text& line) : line_(line) {}

  // Moves the window to the commas after `open` and fills it up to three.
  void advanceTo(Position open) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count_; ++i) {
      if (commas_[i] > open) commas_[kept++] = commas_[i];
    }
    count_ = kept;
    if (frontier_ <= open) frontier_ = open + 1;
    while (count_ < 3) {
      const Position comma = line_.find(frontier_, ',');
      if (comma == kNone<Position>) {
        frontier_ = line_.size();
        break;
      }
      commas_[count_++] = comma;
      frontier_ = comma + 1;
    }
  }

  std::size_t count() const { return count_; }
  Position operator[](std::size_t i) const { return commas_[i]; }

 private:
  Text& line_;
  std::array<Position, 3> commas_{};
  std::size_t count_ = 0;
  Position frontier_ = 0;
};

// White space as the C locale's isspace sees it.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal integer the way "%d" does (white space, sign, digits) from
// position `at`, never past the line's end, and records it in `cut`.
template <class Text>
void parseNumber(Text& line, typename Text::Position at, BasicLineCut<typename Text::Position>& cut) {
  const auto size = line.size();
  // The usual coordinate: one digit, then something else.
  if (at + 1 < size && isDigit(line.at(at)) && !isDigit(line.at(at + 1))) {
    cut.hasNumber = true;
    cut.number = line.at(at) - '0';
    cut.numberBegin = at;
    cut.numberEnd = at + 1;
    return;
  }
  auto i = at;
  while (i < size && isSpace(line.at(i))) ++i;
  const auto begin = i;
  bool negative = false;
  if (i < size && (line.at(i) == '+' || line.at(i) == '-')) {
    negative = line.at(i) == '-';
    ++i;
  }
  const auto digits = i;
  constexpr long long kBeyondInt = static_cast<long long>(INT_MAX) + 2;
  long long value = 0;
  while (i < size && isDigit(line.at(i))) {
    if (value < kBeyondInt) value = value * 10 + (line.at(i) - '0');
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
template <class Position>
bool hasEmptyCoordinate(Position open, Position first, Position second, Position third) {
  return first == open + 1 || second == first + 1 || third == second + 1;
}

// The line cut at its qualifying group: `open` is where the group starts,
// `first` and `third` its first and third commas, `close` its ')'.
template <class Text, class Position = typename Text::Position>
BasicLineCut<Position> qualifiedCut(Text& line, bool useFirst, Position open, Position first, Position third,
                                    Position close) {
  BasicLineCut<Position> cut;
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

template <class Position>
BasicLineCut<Position> unchangedCut(Position size) {
  BasicLineCut<Position> cut;
  cut.cutBegin = cut.cutEnd = size;
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
    cut = unchangedCut(line.size());
    return true;
  }
  const std::uint64_t closes = window.closes & after;
  if (closes == 0) return false;
  const auto close = static_cast<std::size_t>(__builtin_ctzll(closes));
  if (third >= close) return false;
  ViewText text(line);
  cut = qualifiedCut(text, useFirst, open, first, third, close);
  return true;
}

// The full scan, for every line: a candidate group starts at the next '('
// (or, when none is left, right where the search starts); it needs three
// commas after it with no empty coordinate among the first three, and its
// third comma before the first ')' after the start. Too few commas end the
// scan; a ')' before the third comma moves the search past that ')'.
template <class Text, class Position = typename Text::Position>
BasicLineCut<Position> fullCut(Text& text, bool useFirst) {
  ForwardSearch<Text> opens(text, '(');
  ForwardSearch<Text> closes(text, ')');
  CommaWindow<Text> commas(text);
  const Position size = text.size();
  Position start = 0;
  for (;;) {
    Position open = opens.next(start);
    if (open == kNone<Position>) open = start;
    commas.advanceTo(open);
    if (commas.count() < 3) return unchangedCut(size);
    const Position first = commas[0], third = commas[2];
    if (hasEmptyCoordinate(open, first, commas[1], third)) return unchangedCut(size);
    Position close = closes.next(open + 1);
    if (close == kNone<Position>) close = open + 1;
    if (third >= close) {
      start = close + 1;
      continue;
    }
    return qualifiedCut(text, useFirst, open, first, third, close);
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
  ViewText text(line);
  return fullCut(text, useFirst);
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
