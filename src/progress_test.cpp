#include "progress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProgressLine, ShowsWhatIsKnown) {
  const struct {
    std::uint64_t read;
    std::optional<std::uint64_t> size;
    double seconds;
    const char* line;
  } cases[] = {
      {0, 1000, 1.0, "tovlak: 0 B of 1000 B, 0%, 0 B/s, 0 s left"},
      {512u << 20, std::uint64_t{2} << 30, 2.0, "tovlak: 512.0 MiB of 2.0 GiB, 25%, 256.0 MiB/s, 6 s left"},
      {1000, 1000, 4.0, "tovlak: 1000 B of 1000 B, 100%, 250 B/s, 0 s left"},
      // A pipe, a log that grew past its size, an empty log that grew.
      {3u << 20, std::nullopt, 1.5, "tovlak: 3.0 MiB, 2.0 MiB/s"},
      {2000, 1000, 2.0, "tovlak: 2.0 KiB, 1000 B/s"},
      {10, 0, 1.0, "tovlak: 10 B, 10 B/s"},
  };
  for (const auto& c : cases) EXPECT_EQ(progressLine(c.read, c.size, c.seconds), c.line);
}

}  // namespace
