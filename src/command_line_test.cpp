#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "failure.h"
#include "messages.h"

namespace {

struct CommandLineCase {
  std::vector<const char*> arguments;
  std::string error;  // empty: parses
  int dimensionLength = 0;
  std::string logFileName = {};
  bool useFirst = false;
};

TEST(ParseCommandLine, ScansBackwardsAndReportsTheRightMessage) {
  const std::string usage = kUsageMessage, invalid = kInvalidLengthMessage;
  const CommandLineCase cases[] = {
      {{"-d4", "-lrun.log"}, "", 4, "run.log", false},
      {{"-d4", "-lrun.log", "-f"}, "", 4, "run.log", true},
      {{"-fanything", "-d2", "-lx"}, "", 2, "x", true},
      {{"-d3", "-d5", "-lx.log"}, "", 3, "x.log", false},
      {{"-d3", "-lb.log", "-la.log"}, "", 3, "b.log", false},
      {{"-d3", "-lrun.log", "-l"}, "", 3, "run.log", false},
      {{"-d3", "-l", "-lrun.log"}, "", 3, "run.log", false},
      {{"-d  +7xyz", "-l  a.log b.log"}, "", 7, "a.log b.log", false},
      {{"-d2", "-lJane Doe/run.log \t\n"}, "", 2, "Jane Doe/run.log", false},
      {{"-d2", "-l\tC:\\Users\\Jane Doe\\a\tb.log"}, "", 2, "C:\\Users\\Jane Doe\\a\tb.log", false},
      {{"-d2147483647", "-la"}, "", 2147483647, "a", false},
      {{"-d4", "run.log"}, usage},
      {{"-d4"}, usage},
      {{}, usage},
      {{"-lrun.log", "-d2", "-q"}, usage},
      {{"-lrun.log", "-d2", "-"}, usage},
      {{"-lrun.log", "-d2", ""}, usage},
      // An invalid length loses to a usage error anywhere on the line.
      {{"-d0", "-lrun.log", "x"}, usage},
      {{"-d4", "-f"}, usage},
      {{"-lrun.log", "-f"}, usage},
      {{"-d4", "-l"}, usage},
      {{"-d4", "-l   "}, usage},
      {{"-d0", "-lrun.log"}, invalid},
      {{"-dx", "-lrun.log"}, invalid},
      {{"-d", "-lrun.log"}, invalid},
      {{"-d-3", "-lrun.log"}, invalid},
      {{"-d2147483648", "-lrun.log"}, invalid},
      {{"-d99999999999999999999999", "-lrun.log"}, invalid},
      {{"-d0", "-d5", "-lrun.log"}, invalid},
  };
  for (const CommandLineCase& c : cases) {
    std::string arguments;
    for (const char* a : c.arguments) arguments += std::string(" '") + a + "'";
    try {
      const Options options = parseCommandLine(c.arguments);
      EXPECT_EQ(c.error, "") << "parsed:" << arguments;
      EXPECT_EQ(options.dimensionLength, c.dimensionLength) << arguments;
      EXPECT_EQ(options.logFileName, c.logFileName) << arguments;
      EXPECT_EQ(options.useFirst, c.useFirst) << arguments;
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.what(), c.error) << arguments;
    }
  }
}

}  // namespace
