#include "line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bytes/bytes.h"
#include "failure.h"
#include "memory_source.h"

using namespace std::string_literals;

namespace {

// Every line the reader gives, into `lines`, a long line's pieces put
// together; what was given stays there when the reader throws.
void collectLines(LineReader& reader, std::vector<std::string>& lines) {
  std::string_view line;
  ByteWindow window;
  for (Found found; (found = reader.next(line, window)) != Found::end;) {
    if (found == Found::longLine) {
      std::string whole(line);
      std::string_view piece;
      while (reader.nextPiece(piece)) whole += piece;
      lines.push_back(whole);
      continue;
    }
    // The window handed out is the line's own, whatever lies after the line.
    const ByteWindow expected = windowOf(line);
    EXPECT_EQ(window.newlines, expected.newlines) << line;
    EXPECT_EQ(window.opens, expected.opens) << line;
    EXPECT_EQ(window.commas, expected.commas) << line;
    EXPECT_EQ(window.closes, expected.closes) << line;
    lines.emplace_back(line);
  }
}

std::vector<std::string> linesOf(const std::string& bytes, std::size_t blockSize, std::size_t mostPerRead,
                                 std::size_t mostHeld) {
  MemorySource source(bytes, mostPerRead);
  LineReader reader(source, blockSize, mostHeld);
  std::vector<std::string> lines;
  collectLines(reader, lines);
  return lines;
}

TEST(LineReader, GivesWholeLinesWhateverTheBlocks) {
  const std::string longLine = std::string(10000, 'x') + "\n";
  const struct {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"\n", {"\n"}},
      {"a\nbb\n", {"a\n", "bb\n"}},
      {"a\nlast", {"a\n", "last"}},
      {"\n\n\n", {"\n", "\n", "\n"}},
      {"a\0b\n\0\n"s, {"a\0b\n"s, "\0\n"s}},
      {"s\n" + longLine + "t", {"s\n", longLine, "t"}},
      {longLine + longLine, {longLine, longLine}},
      {"(1,2,3,4)\n(5,6,7,8)(\n,)", {"(1,2,3,4)\n", "(5,6,7,8)(\n", ",)"}},
      {std::string(63, ',') + "\n(" + std::string(70, ')') + "\n",
       {std::string(63, ',') + "\n", "(" + std::string(70, ')') + "\n"}},
  };
  for (const auto& c : cases) {
    for (std::size_t blockSize : {1u, 3u, 64u, 65536u}) {
      for (std::size_t mostPerRead : {std::size_t{1}, std::size_t{7}, SIZE_MAX}) {
        // Lines longer than what the reader holds come in pieces, the same bytes.
        for (std::size_t mostHeld : {std::size_t{1}, std::size_t{100}, LineReader::kMostHeld}) {
          EXPECT_EQ(linesOf(c.bytes, blockSize, mostPerRead, mostHeld), c.lines)
              << "block " << blockSize << " read " << mostPerRead << " held " << mostHeld;
        }
      }
    }
  }
}

// Gives `bytes` as MemorySource does, then throws Failure.
class FailingSource : public ByteSource {
 public:
  FailingSource(std::string_view bytes, std::size_t mostPerRead) : bytes_(bytes, mostPerRead) {}
  std::size_t read(char* into, std::size_t capacity) override {
    const std::size_t n = bytes_.read(into, capacity);
    if (n == 0) throw Failure("unable to read\n");
    return n;
  }

 private:
  MemorySource bytes_;
};

TEST(LineReader, GivesTheWholeLinesBeforeAFailureThenThrowsIt) {
  const struct {
    std::string bytes;
    std::vector<std::string> lines;  // a line the failure cut short is not one
  } cases[] = {
      {"", {}},
      {"a\nbb\n", {"a\n", "bb\n"}},
      {"a\nbb\ncut", {"a\n", "bb\n"}},
      {std::string(100, 'x') + "\n" + std::string(100, 'y'), {std::string(100, 'x') + "\n"}},
  };
  for (const auto& c : cases) {
    for (std::size_t blockSize : {1u, 64u, 65536u}) {
      for (std::size_t mostPerRead : {std::size_t{1}, SIZE_MAX}) {
        for (std::size_t mostHeld : {std::size_t{1}, LineReader::kMostHeld}) {
          FailingSource source(c.bytes, mostPerRead);
          LineReader reader(source, blockSize, mostHeld);
          std::vector<std::string> lines;
          EXPECT_THROW(collectLines(reader, lines), Failure);
          EXPECT_EQ(lines, c.lines) << "block " << blockSize << " read " << mostPerRead << " held "
                                    << mostHeld;
        }
      }
    }
  }
}

}  // namespace
