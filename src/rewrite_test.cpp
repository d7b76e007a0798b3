#include "rewrite.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "reference_rewrite.h"

using namespace std::string_literals;

namespace {

struct FindCase {
  std::string text;
  int character;
  int expected;
};

TEST(FindCharacter, GivesFirstPositionAndZeroForAbsent) {
  const FindCase cases[] = {
      {"abc", 'b', 1},
      {"abc", 'c', 2},
      {"abc", 'a', 0},
      {"abc", 'z', 0},
      {"", 'a', 0},
      {"", 0, 0},
      {"data.txt", '.', 4},
      {"a.b.c", '.', 1},
      {".log", '.', 0},
      {"log", '.', 0},
      {"abc", 0, 0},
      // NUL is an ordinary byte: the search runs over the whole text.
      {"a\0b"s, 'b', 2},
      {"a\0b"s, 0, 1},
      {"ab\0."s, '.', 3},
      // Compared as a char, so a byte above 127 is found whatever its sign.
      {"x\xe9y", 0xe9, 1},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(findCharacter(c.text, c.character), c.expected)
        << "text '" << c.text << "' character " << c.character;
  }
}

constexpr int kKept = 77;  // the index a line leaves alone when its coordinate is no integer

struct RewriteCase {
  std::string line;
  int normalIndex;
  std::string normalOut;  // empty: unchanged
  int firstIndex;
  std::string firstOut;
};

const RewriteCase kRewriteCases[] = {
    {"(1,2,3,4)\n", 4, "(1,2,3)\n", 1, "(2,3,4)\n"},
    {"t=5 (10,20,30,2) end\n", 2, "t=5 (10,20,30) end\n", 10, "t=5 (20,30,2) end\n"},
    {"( 1, 2, 3, 4 )\n", 4, "( 1, 2, 3)\n", 1, "( 2, 3, 4 )\n"},
    {"(1,2,3,4,5)\n", 4, "(1,2,3)\n", 1, "(2,3,4,5)\n"},
    {"(1,2,3)\n", -1, "", -1, ""},
    {"no group here\n", -1, "", -1, ""},
    {"\n", -1, "", -1, ""},
    {"(1,,3,4)\n", -1, "", -1, ""},
    {"(1,2,3,4\n", -1, "", -1, ""},
    {"(1,2) (3,4,5,6)\n", 6, "(1,2) (3,4,5)\n", 3, "(1,2) (4,5,6)\n"},
    {"(1,2) (3,4,5)\n", -1, "", -1, ""},
    {"(10,20)x(30,40,50,60,70)\n", 60, "(10,20)x(30,40,50)\n", 30, "(10,20)x(40,50,60,70)\n"},
    {"pre (9,8,7,1) mid (1,2,3,0) post\n", 1, "pre (9,8,7) mid (1,2,3,0) post\n", 9,
     "pre (8,7,1) mid (1,2,3,0) post\n"},
    {"(1,2,3,4)(5,6,7,8)\n", 4, "(1,2,3)(5,6,7,8)\n", 1, "(2,3,4)(5,6,7,8)\n"},
    {"(1,2,3,-1)\n", -1, "(1,2,3)\n", 1, "(2,3,-1)\n"},
    {"(1,2,3,x)\n", kKept, "(1,2,3)\n", 1, "(2,3,x)\n"},
    {"(1,2,3,)\n", kKept, "(1,2,3)\n", 1, "(2,3,)\n"},
    {"(1,(2,3,4),5)\n", 4, "(1,(2,3),5)\n", 1, "((2,3,4),5)\n"},
    {"(a,b,c,d)\n", kKept, "(a,b,c)\n", kKept, "(b,c,d)\n"},
    {"((1,2,3,4))\n", 4, "((1,2,3))\n", kKept, "(2,3,4))\n"},
    {"ab,c,d,5)\n", 5, "ab,c,d)\n", kKept, "ac,d,5)\n"},
    {"a,b,c,d)\n", -1, "", -1, ""},
    // The README's examples of a character standing in for the '(', and of an
    // empty coordinate that ends the search before a group.
    {"5,2,3,1)\n", -1, "", -1, ""},
    {"12,3,4,5)\n", 5, "12,3,4)\n", 2, "13,4,5)\n"},
    {"call f(a) args x,,y at (10,20,30,1)\n", -1, "", -1, ""},
    {"(12,2,3,4)", 4, "(12,2,3)", 12, "(2,3,4)"},
    // Beyond the table: signs and spaces as "%d" reads them, saturation,
    // NUL bytes kept, and a group far into a long line.
    {"(+7,2,3,+5)\n", 5, "(+7,2,3)\n", 7, "(2,3,+5)\n"},
    {"(1,2,3,- 5)\n", kKept, "(1,2,3)\n", 1, "(2,3,- 5)\n"},
    {"(1,2,3,99999999999)\n", INT_MAX, "(1,2,3)\n", 1, "(2,3,99999999999)\n"},
    {"(-99999999999,2,3,4)\n", 4, "(-99999999999,2,3)\n", INT_MIN, "(2,3,4)\n"},
    {"a\0b (1,2,3,4) \0z\n"s, 4, "a\0b (1,2,3) \0z\n"s, 1, "a\0b (2,3,4) \0z\n"s},
    {std::string(300, 'x') + "(1,2,3,4)\n", 4, std::string(300, 'x') + "(1,2,3)\n", 1,
     std::string(300, 'x') + "(2,3,4)\n"},
    {"", -1, "", -1, ""},
};

TEST(StringIn3Dimensions, RewritesEveryTableRowInBothModes) {
  std::string out = "left over from the previous line";
  for (const RewriteCase& c : kRewriteCases) {
    for (bool useFirst : {false, true}) {
      int index = kKept;
      stringIn3Dimensions(c.line, index, out, useFirst);
      const int expectedIndex = useFirst ? c.firstIndex : c.normalIndex;
      const std::string& expectedOut = useFirst ? c.firstOut : c.normalOut;
      EXPECT_EQ(index, expectedIndex) << "line '" << c.line << "' useFirst " << useFirst;
      EXPECT_EQ(out, expectedOut.empty() ? c.line : expectedOut)
          << "line '" << c.line << "' useFirst " << useFirst;
    }
  }
}

TEST(FindLineCut, MarksTheCoordinateAsItStands) {
  const LineCut cut = findLineCut("(1,2,3,  -42)\n", false);
  ASSERT_TRUE(cut.hasNumber);
  EXPECT_EQ(cut.number, -42);
  EXPECT_EQ(std::string_view("(1,2,3,  -42)\n").substr(cut.numberBegin, cut.numberEnd - cut.numberBegin),
            "-42");
}

TEST(StringIn3Dimensions, AgreesWithTheLiteralAlgorithmOnRandomLines) {
  std::mt19937 random(12345);
  // Short lines of mostly structure, and lines around the 64 bytes that the
  // quick path looks at, with groups placed anywhere in them.
  const struct {
    const char* alphabet;
    std::size_t shortest, longest;
  } shapes[] = {
      {"(),,,0123456789 -+x\n", 0, 24},
      {"(),,,0123456789 -+x\n", 50, 80},
      {"(),0123456789abcdefghijklmnopqrstuvwxyz     ", 40, 140},
  };
  std::string line, out, expectedOut;
  for (const auto& shape : shapes) {
    const std::string alphabet = std::string(shape.alphabet) + '\0';
    for (int trial = 0; trial < 100000; ++trial) {
      line.resize(shape.shortest + random() % (shape.longest - shape.shortest + 1));
      for (char& c : line) c = alphabet[random() % alphabet.size()];
      if (trial % 2) line.replace(random() % (line.size() + 1), 0, "(1,22,-3,4)");
      for (bool useFirst : {false, true}) {
        int index = kKept, expectedIndex = kKept;
        stringIn3Dimensions(line, index, out, useFirst);
        referenceRewrite(line, expectedIndex, expectedOut, useFirst);
        ASSERT_EQ(index, expectedIndex) << "line '" << line << "' useFirst " << useFirst;
        ASSERT_EQ(out, expectedOut) << "line '" << line << "' useFirst " << useFirst;
      }
    }
  }
}

}  // namespace
