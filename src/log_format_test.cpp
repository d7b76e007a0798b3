#include "log_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_source.h"

using namespace std::string_literals;

namespace {

TEST(FormatOf, TellsEveryFormatFromItsFirstBytes) {
  const struct {
    std::string first;
    LogFormat format;
  } cases[] = {
      {"\x1f\x8b\x08\0\0\0\0\0\0\x03"s, LogFormat::gzip},
      {"\x28\xb5\x2f\xfd\x24\x05"s, LogFormat::zstd},
      {"\xfd\x37\x7a\x58\x5a\0\0\x04"s, LogFormat::xz},
      {"BZh91AY&SY", LogFormat::bzip2},
      {"\x04\x22\x4d\x18\x64\x40"s, LogFormat::lz4},
      {"\x02\x21\x4c\x18\x10\0\0\0"s, LogFormat::lz4Legacy},
      {"BZh9\x17\x72\x45\x38\x50\x90\0\0\0\0"s, LogFormat::bzip2},
      // Skippable frames belong to zstd and lz4: the frame after them decides.
      {"\x50\x2a\x4d\x18\x02\0\0\0ab\x04\x22\x4d\x18\x64\x40"s, LogFormat::lz4},
      {"\x5f\x2a\x4d\x18\0\0\0\0\x50\x2a\x4d\x18\x01\0\0\0a\x04\x22\x4d\x18"s, LogFormat::lz4},
      {"\x50\x2a\x4d\x18\x02\0\0\0ab\x28\xb5\x2f\xfd"s, LogFormat::zstd},
      {"\x50\x2a\x4d\x18\x02\0\0\0ab"s, LogFormat::zstd},
      {"\x50\x2a\x4d\x18\xff\xff\xff\xff"s, LogFormat::zstd},
      // Text that begins as a magic does, but is none.
      {"\x1f", LogFormat::plain},
      {"\x28\xb5\x2f", LogFormat::plain},
      {"BZh91AY&SX", LogFormat::plain},
      {"BZh0", LogFormat::plain},
      {"\x60\x2a\x4d\x18"s, LogFormat::plain},
      {"t=5 (10,20,30,2) end", LogFormat::plain},
      {"", LogFormat::plain},
  };
  for (const auto& c : cases) EXPECT_EQ(formatOf(c.first), c.format) << c.first;
  // A zstd log may begin with a skippable frame, of any of its sixteen magics.
  for (int low = 0; low < 16; ++low) {
    const std::string skippable = static_cast<char>(0x50 + low) + "\x2a\x4d\x18\x00\x00\x00\x00"s;
    EXPECT_EQ(formatOf(skippable), LogFormat::zstd) << low;
  }
}

// However the log comes, a byte at a time from a pipe or whole, its format
// is told from its first bytes, and every byte is read back in order.
TEST(SniffedLog, TellsTheFormatAndGivesEveryByteBack) {
  const struct {
    std::string log;
    LogFormat format;
  } cases[] = {
      {"\x28\xb5\x2f\xfd\x24\x05 and the rest of the frame"s, LogFormat::zstd},
      {"\x1f\x8b", LogFormat::gzip},
      {"\x50\x2a\x4d\x18\x05\0\0\0abcde\x04\x22\x4d\x18\x64\x40 rest"s, LogFormat::lz4},
      {"(1,2,3,4)\nmore than ten bytes of text\n", LogFormat::plain},
      {"short", LogFormat::plain},
      {"", LogFormat::plain},
  };
  for (const auto& c : cases) {
    for (std::size_t mostPerRead : {std::size_t{1}, std::size_t{3}, SIZE_MAX}) {
      MemorySource pipe(c.log, mostPerRead);
      SniffedLog sniffed(pipe);
      EXPECT_EQ(sniffed.format(), c.format) << c.log << " in reads of " << mostPerRead;
      std::string back;
      std::vector<char> block(7);
      for (std::size_t got; (got = sniffed.read(block.data(), block.size())) > 0;) {
        back.append(block.data(), got);
      }
      EXPECT_EQ(back, c.log) << "in reads of " << mostPerRead;
    }
  }
}

}  // namespace
