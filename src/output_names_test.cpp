#include "output_names.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputNames, PutsTheIndexBeforeTheFirstDot) {
  const struct {
    const char* log;
    int index;
    const char* expected;
  } cases[] = {
      {"run.log", 0, "run0.log"},
      {"run.log", 12, "run12.log"},
      {"a.b.c", 0, "a0.b.c"},
      {"logs/run.log", 0, "logs/run0.log"},
      {"my.dir/run", 0, "my0.dir/run"},
      {"log", 0, "0log"},
      {".log", 0, "0.log"},
      {"./run.log", 0, "0./run.log"},
      {"run.", 3, "run3."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OutputNames(c.log).nameOf(c.index), c.expected) << c.log;
  }
}

}  // namespace
