#include "split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_outputs.h"
#include "memory_source.h"

using namespace std::string_literals;

namespace {

struct SplitCase {
  const char* what;
  std::string log;
  int count;
  bool useFirst;
  std::vector<std::string> files;
  std::string error = {};  // empty: the run completes
};

TEST(SplitLines, RoutesEveryLineAndStopsOnAnIndexOutsideTheFiles) {
  const SplitCase cases[] = {
      {"routing and broadcast",
       "start\n(1,2,3,0)\n(1,2,3,2)\nmid\n(1,2,3,1)\n",
       3,
       false,
       {"start\n(1,2,3)\nmid\n", "start\nmid\n(1,2,3)\n", "start\n(1,2,3)\nmid\n"}},
      {"first-coordinate mode", "(1,9,9,9)\n(0,8,8,8)\n#\n", 2, true, {"(8,8,8)\n#\n", "(9,9,9)\n#\n"}},
      {"-1 broadcasts the reduced line", "(1,2,3,-1)\n", 2, false, {"(1,2,3)\n", "(1,2,3)\n"}},
      {"a non-integer keeps the previous index",
       "(0,0,0,1)\n(a,b,c,d)\n",
       2,
       false,
       {"", "(0,0,0)\n(a,b,c)\n"}},
      {"a non-integer first line is broadcast",
       "(a,b,c,d)\n(0,0,0,1)\n",
       2,
       false,
       {"(a,b,c)\n", "(a,b,c)\n(0,0,0)\n"}},
      {"a non-integer after a plain line is broadcast",
       "(0,0,0,1)\nplain\n(a,b,c,d)\n",
       2,
       false,
       {"plain\n(a,b,c)\n", "(0,0,0)\nplain\n(a,b,c)\n"}},
      {"a last line without newline", "(0,0,0,1)\ntail", 2, false, {"tail", "(0,0,0)\ntail"}},
      {"NUL bytes are kept", "a\0(1,2,3,0)\0\n\0\n"s, 1, false, {"a\0(1,2,3)\0\n\0\n"s}},
      {"an index too large stops before its line",
       "x\n(1,2,3,0)\n(1,2,3, +2)\nafter\n",
       2,
       false,
       {"x\n(1,2,3)\n", "x\n"},
       "error using tovlak: index +2 on line 3 is outside 0 to 1\n"},
      {"an index below -1",
       "(1,2,3,-2)\n",
       3,
       false,
       {"", "", ""},
       "error using tovlak: index -2 on line 1 is outside 0 to 2\n"},
      {"an index beyond int",
       "(99999999999,2,3,4)\n",
       3,
       true,
       {"", "", ""},
       "error using tovlak: index 99999999999 on line 1 is outside 0 to 2\n"},
  };
  for (const SplitCase& c : cases) {
    for (std::size_t blockSize : {1u, 4096u}) {
      MemorySource source(c.log);
      LineReader reader(source, blockSize);
      MemoryOutputs outputs(c.count);
      std::string error;
      try {
        splitLines(reader, outputs, c.useFirst);
      } catch (const Failure& failure) {
        error = failure.what();
      }
      EXPECT_EQ(error, c.error) << c.what;
      EXPECT_EQ(outputs.files, c.files) << c.what;
      EXPECT_TRUE(outputs.finished) << c.what;
    }
  }
}

}  // namespace
