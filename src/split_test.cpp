#include "split.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "log_file.h"
#include "memory_outputs.h"
#include "memory_source.h"
#include "reference_rewrite.h"
#include "temporary_files.h"

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
  const TemporaryDirectory directory;
  HeldLine held(directory.path().string() + "/");
  for (const SplitCase& c : cases) {
    for (std::size_t blockSize : {1u, 4096u}) {
      // Every line held outside memory, or none.
      for (std::size_t mostHeld : {std::size_t{1}, LineReader::kMostHeld}) {
        MemorySource source(c.log);
        LineReader reader(source, blockSize, mostHeld);
        MemoryOutputs outputs(c.count);
        std::string error;
        try {
          splitLines(reader, held, outputs, c.useFirst);
        } catch (const Failure& failure) {
          error = failure.what();
        }
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(outputs.files, c.files) << c.what;
        EXPECT_TRUE(outputs.finished) << c.what;
      }
    }
  }
}

// Lines far longer than the reader holds, of the kinds whose cut is decided
// late or never, come out as the reference split writes them whole; the
// temporary files they were held in are gone from the directory.
TEST(SplitLines, RoutesLinesLongerThanTheReaderHoldsAsWholeOnes) {
  const std::string many(5000, 'x');
  const std::string hole = "before\n(1,2,3,1)\n" + std::string(5000, '\0') + "\n(4,5,6,0)\nafter\n";
  const std::string cases[] = {
      hole,
      hole.substr(0, hole.size() - 6),                   // the hole at the end, no newline
      "(1,2,3,1)\n(1,2,3," + many + ",0)\n",             // the third comma past the bound
      "(1,2," + many + ",3,0)\n(7,8,9,1)\n",             // a comma past the bound
      "(" + many + "\n(0,1,2,1)\n",                      // a '(' and no comma
      many + "(1,2,3,1)\n" + many + "(1,2,3,0)" + many,  // a group at the end of a long line
      "(1,2,3,0)" + many + "\n" + many + "(" + many + ",2,3,1)" + many + "\n",
      many + ",1,2,3)" + many + "\n",  // a group with no '(' left
      "(1,2,3," + many + "7)\n",       // an index outside the outputs
  };
  const TemporaryDirectory directory;
  const std::string name = directory / "run.log";
  for (const std::string& log : cases) {
    writeFile(name, log);
    for (bool useFirst : {false, true}) {
      for (std::size_t mostHeld : {std::size_t{1}, std::size_t{100}}) {
        // From memory (as from a pipe), each line held in a temporary file;
        // from a file, read again from the file.
        for (bool fromFile : {false, true}) {
          MemorySource memory(log, 777);
          LogFile file(name);
          HeldLine held =
              fromFile ? HeldLine(file.handle(), name) : HeldLine(directory.path().string() + "/");
          LineReader reader(fromFile ? static_cast<ByteSource&>(file) : memory, 64, mostHeld);
          MemoryOutputs outputs(3);
          bool failed = false;
          try {
            splitLines(reader, held, outputs, useFirst);
          } catch (const Failure&) {
            failed = true;
          }
          const ReferenceSplit expected = referenceSplit(log, 3, useFirst);
          EXPECT_EQ(failed, expected.indexOutside) << log.substr(0, 20);
          EXPECT_EQ(outputs.files, expected.files) << log.substr(0, 20) << " first " << useFirst;
          // The file of the line held last, still open: no directory shows
          // it on POSIX; on Windows it goes when it is closed.
          if (!platform::kWindowsNames) {
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 1);
          }
        }
      }
    }
  }
  std::filesystem::remove(name);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 0);
}

}  // namespace
