// Feeds arbitrary bytes, as one line, to the group rewrite in both modes and
// checks its contract: the output is the input with at most one contiguous
// run removed, never longer; a line without a qualifying group comes back
// whole with index -1.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string out;
  for (bool useFirst : {false, true}) {
    const LineCut cut = findLineCut(line, useFirst);
    if (cut.cutBegin > cut.cutEnd || cut.cutEnd > line.size()) std::abort();
    int index = 12345;
    stringIn3Dimensions(line, index, out, useFirst);
    if (out.size() > line.size()) std::abort();
    if (!cut.qualifies && (index != -1 || out != line)) std::abort();
    if (cut.qualifies && (cut.cutBegin == cut.cutEnd)) std::abort();
    // What remains is a prefix of the line followed by a suffix of it.
    const std::size_t removed = line.size() - out.size();
    if (line.substr(0, cut.cutBegin) != std::string_view(out).substr(0, cut.cutBegin)) std::abort();
    if (line.substr(cut.cutBegin + removed) != std::string_view(out).substr(cut.cutBegin)) std::abort();
    if (cut.hasNumber && index != cut.number) std::abort();
    if (cut.qualifies && !cut.hasNumber && index != 12345) std::abort();
  }
  return 0;
}
