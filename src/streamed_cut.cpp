#include "streamed_cut.h"

#include <algorithm>
#include <climits>

#include "bytes/bytes.h"

namespace {

// White space as the C locale's isspace sees it.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

StreamedCut::StreamedCut(bool useFirst) : useFirst_(useFirst) {
  Candidate root;
  root.seeking = true;
  chain_.push_back(root);
  fallback_.push_back(opened(0));
}

// A candidate whose group starts at `open`; under -f its coordinate is read
// from the byte after.
StreamedCut::Candidate StreamedCut::opened(std::uint64_t open) {
  Candidate candidate;
  candidate.open = open;
  if (useFirst_) startNumber(candidate, open + 1);
  return candidate;
}

void StreamedCut::startNumber(Candidate& candidate, std::uint64_t from) {
  candidate.number = Number{};
  candidate.number.stage = Number::Stage::waiting;
  candidate.number.from = from;
  readNumber(candidate.number, piece_, size_);
}

// Reads on the coordinate `number` over `bytes`, which begin at `base` in
// the line, from where it stands; it stops at the first byte that ends it.
void StreamedCut::readNumber(Number& number, std::string_view bytes, std::uint64_t base) {
  using Stage = Number::Stage;
  if (number.stage == Stage::done || number.from >= base + bytes.size()) return;
  std::size_t i = number.from > base ? static_cast<std::size_t>(number.from - base) : 0;
  if (number.stage == Stage::waiting) number.stage = Stage::space;
  constexpr long long kBeyondInt = static_cast<long long>(INT_MAX) + 2;
  for (; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (number.stage == Stage::space && isSpace(c)) continue;
    if (number.stage == Stage::space && (c == '+' || c == '-')) {
      number.begin = base + i;
      number.negative = c == '-';
      number.stage = Stage::sign;
      continue;
    }
    if (isDigit(c)) {
      if (number.stage == Stage::space) number.begin = base + i;
      number.stage = Stage::digits;
      if (number.value < kBeyondInt) number.value = number.value * 10 + (c - '0');
      continue;
    }
    number.has = number.stage == Stage::digits;
    number.end = base + i;
    number.stage = Stage::done;
    return;
  }
}

void StreamedCut::add(std::string_view piece) {
  piece_ = piece;
  for (Candidate& candidate : chain_) readNumber(candidate.number, piece, size_);
  for (Candidate& candidate : fallback_) readNumber(candidate.number, piece, size_);
  for (std::size_t at = 0; at < piece.size() && !decided(); at += 64) {
    const std::size_t length = std::min<std::size_t>(64, piece.size() - at);
    const ByteWindow window = length == 64 ? windowAt(piece.data() + at, 64) : windowOf(piece.substr(at));
    for (std::uint64_t events = window.opens | window.commas | window.closes; events != 0;
         events &= events - 1) {
      const auto bit = static_cast<std::size_t>(__builtin_ctzll(events));
      onEvent(size_ + at + bit, piece[at + bit]);
    }
  }
  size_ += piece.size();
  piece_ = {};
}

void StreamedCut::onEvent(std::uint64_t at, char c) {
  Candidate& last = chain_.back();
  const bool seeking = last.seeking;
  if (c == '(') {
    if (!seeking) return;
    // The group the scan tries opens here: what was followed for its
    // absence is no longer needed.
    last.seeking = false;
    last.open = at;
    fallback_.clear();
    if (useFirst_) startNumber(last, at + 1);
    return;
  }
  if (c == ',') {
    onComma(chain_, at);
    if (seeking) onComma(fallback_, at);
  } else {
    onClose(chain_, at, false);
    if (seeking) onClose(fallback_, at, true);
  }
  settle(chain_);
  if (!chain_.back().seeking) fallback_.clear();
  settle(fallback_);
}

// A comma: the candidates still counting take it; one that finds an empty
// coordinate leaves the line whole, and one whose ')' came before its
// third comma gives way to the candidate after it.
void StreamedCut::onComma(std::vector<Candidate>& chain, std::uint64_t at) {
  for (Candidate& candidate : chain) {
    if (candidate.outcome != Outcome::open || candidate.seeking || at <= candidate.open ||
        candidate.commaCount == 3) {
      continue;
    }
    const std::uint64_t before =
        candidate.commaCount == 0 ? candidate.open : candidate.commas[candidate.commaCount - 1];
    if (at == before + 1) {
      candidate.outcome = Outcome::unchanged;
      continue;
    }
    candidate.commas[candidate.commaCount++] = at;
    if (candidate.commaCount < 3) continue;
    if (candidate.closed) {
      candidate.outcome = Outcome::next;
    } else if (!useFirst_) {
      startNumber(candidate, at + 1);
    }
  }
}

// A ')': the last candidate, if it has not met one, qualifies with three
// commas before it, and otherwise starts the next candidate after it
// (seeking its '(', or, where none is to come, at once).
void StreamedCut::onClose(std::vector<Candidate>& chain, std::uint64_t at, bool hypothetical) {
  Candidate& last = chain.back();
  if (last.outcome != Outcome::open || last.seeking || last.closed || at <= last.open) return;
  last.closed = true;
  last.close = at;
  if (last.commaCount == 3) {
    last.outcome = Outcome::qualified;
    return;
  }
  if (hypothetical) {
    chain.push_back(opened(at + 1));
    return;
  }
  Candidate next;
  next.seeking = true;
  next.open = at + 1;
  chain.push_back(next);
  fallback_.assign(1, opened(at + 1));
}

// Drops what no longer matters: a candidate that gave way, everything after
// one that decided, and the later of two candidates waiting on the same
// commas, whose outcomes must be the same. So at most three wait.
void StreamedCut::settle(std::vector<Candidate>& chain) {
  for (std::size_t i = 0; i < chain.size();) {
    const Candidate& candidate = chain[i];
    if (candidate.outcome == Outcome::next) {
      chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (candidate.outcome != Outcome::open) {
      chain.resize(i + 1);
      return;
    }
    const auto waits = [](const Candidate& c) { return c.closed && c.outcome == Outcome::open; };
    if (i > 0 && waits(chain[i - 1]) && waits(candidate) && chain[i - 1].commaCount == candidate.commaCount) {
      chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
}

bool StreamedCut::decided() const { return chain_.front().outcome != Outcome::open; }

LongLineCut StreamedCut::cut() const {
  const Candidate& root = chain_.front();
  if (root.outcome == Outcome::qualified) return cutOf(root);
  if (root.outcome == Outcome::open && root.seeking && fallback_.front().outcome == Outcome::qualified) {
    return cutOf(fallback_.front());
  }
  LongLineCut whole;
  whole.cutBegin = whole.cutEnd = size_;
  return whole;
}

LongLineCut StreamedCut::cutOf(const Candidate& candidate) const {
  LongLineCut cut;
  cut.qualifies = true;
  if (useFirst_) {
    cut.cutBegin = candidate.open + 1;
    cut.cutEnd = candidate.commas[0] + 1;
  } else {
    cut.cutBegin = candidate.commas[2];
    cut.cutEnd = candidate.close;
  }
  const Number& number = candidate.number;
  if (number.has) {
    cut.hasNumber = true;
    cut.numberBegin = number.begin;
    cut.numberEnd = number.end;
    if (number.negative) {
      cut.number =
          number.value > -static_cast<long long>(INT_MIN) ? INT_MIN : static_cast<int>(-number.value);
    } else {
      cut.number = number.value > INT_MAX ? INT_MAX : static_cast<int>(number.value);
    }
  }
  return cut;
}
