#include "reference_rewrite.h"

#include <climits>
#include <cstddef>
#include <string>

namespace {

// The position of the first `c` in `line` at or after `p`, relative to `p`,
// and 0 when there is none (or `p` is past the end): a match at `p` and no
// match look alike, and the algorithm is written around exactly that.
long long find(std::string_view line, long long p, char c) {
  if (p >= static_cast<long long>(line.size())) return 0;
  const std::size_t at = line.find(c, static_cast<std::size_t>(p));
  return at == std::string_view::npos ? 0 : static_cast<long long>(at) - p;
}

// Reads the coordinate at `p` as "%d" would, saturated to the int range, into
// `dimensionIndex`; leaves it alone when no integer stands there.
void parse(std::string_view line, long long p, int& dimensionIndex) {
  const std::string text(line.substr(static_cast<std::size_t>(p)));
  std::size_t i = 0;
  while (i < text.size() && std::string(" \t\n\v\f\r").find(text[i]) != std::string::npos) ++i;
  std::size_t j = i;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
  std::size_t k = j;
  while (k < text.size() && text[k] >= '0' && text[k] <= '9') ++k;
  if (k == j) return;
  const long double value = std::stold(text.substr(i, k - i));
  dimensionIndex = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

}  // namespace

void referenceRewrite(std::string_view line, int& dimensionIndex, std::string& outLine, bool useFirst) {
  long long pos = -1;
  for (;;) {
    const long long open = pos + 1 + find(line, pos + 1, '(');
    long long cur = open;
    int count = 0;
    while (count < 3) {
      const long long r = find(line, cur + 1, ',');
      cur = cur + 1 + r;
      if (r == 0) break;
      ++count;
    }
    if (count < 3) {
      dimensionIndex = -1;
      outLine.assign(line);
      return;
    }
    const long long third = cur;
    const long long close = open + 1 + find(line, open + 1, ')');
    if (third >= close) {
      pos = close;
      continue;
    }
    if (!useFirst) {
      parse(line, third + 1, dimensionIndex);
      outLine.assign(line.substr(0, static_cast<std::size_t>(third)));
      outLine.append(line.substr(static_cast<std::size_t>(close)));
    } else {
      parse(line, open + 1, dimensionIndex);
      const long long first = open + 1 + find(line, open + 1, ',');
      outLine.assign(line.substr(0, static_cast<std::size_t>(open + 1)));
      outLine.append(line.substr(static_cast<std::size_t>(first + 1)));
    }
    return;
  }
}

ReferenceSplit referenceSplit(std::string_view log, int count, bool useFirst) {
  ReferenceSplit split;
  split.files.resize(static_cast<std::size_t>(count));
  int index = -1;
  std::string reduced;
  for (std::size_t at = 0; at < log.size();) {
    const std::size_t newline = log.find('\n', at);
    const std::size_t end = newline == std::string_view::npos ? log.size() : newline + 1;
    referenceRewrite(log.substr(at, end - at), index, reduced, useFirst);
    at = end;
    if (index < -1 || index >= count) {
      split.indexOutside = true;
      break;
    }
    for (int i = 0; i < count; ++i) {
      if (index == -1 || index == i) split.files[static_cast<std::size_t>(i)] += reduced;
    }
  }
  return split;
}
