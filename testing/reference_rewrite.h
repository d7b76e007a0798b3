#pragma once

#include <string>
#include <string_view>
#include <vector>

// The rewrite of one line exactly as its algorithm is written down, one
// plain character search per character sought, sharing no code with the
// program: the oracle the tests and fuzzers hold the program's rewrite to.
// Sets `dimensionIndex` and `outLine` as stringIn3Dimensions does.
void referenceRewrite(std::string_view line, int& dimensionIndex, std::string& outLine, bool useFirst);

// What a run on `log` with `count` outputs must leave in them: the log cut at
// every newline, each line rewritten by referenceRewrite and sent to the
// output its index names, or to all. The first line whose index is outside
// -1 … count-1 stops it, with `indexOutside` set.
struct ReferenceSplit {
  std::vector<std::string> files;
  bool indexOutside = false;
};
ReferenceSplit referenceSplit(std::string_view log, int count, bool useFirst);
