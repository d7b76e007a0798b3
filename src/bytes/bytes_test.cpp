#include "bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Every implementation this build has: the portable one always, and the
// vector one the build chose, run by the same tests.
#if TOVLAK_VECTOR_BYTES
using Implementations = ::testing::Types<PortableBytes, Bytes>;
#else
using Implementations = ::testing::Types<PortableBytes>;
#endif

template <class Implementation>
class ShortBytes : public ::testing::Test {};
TYPED_TEST_SUITE(ShortBytes, Implementations);

// Bytes that look like the needles' neighbours in every bit pattern: the
// needles, NUL, and bytes with the top bit set.
constexpr char kAlphabet[] = {'\n', '(', ',', ')', '\0', 'a', '\x80', '\xff', '\x7f', '\x0b', '\x29', '\xa8'};

std::string randomBytes(std::mt19937& random, std::size_t n) {
  std::string bytes(n, '\0');
  for (char& c : bytes) c = kAlphabet[random() % sizeof kAlphabet];
  return bytes;
}

constexpr std::size_t kLongest = 130;
constexpr std::size_t kOffsets = 16;

TYPED_TEST(ShortBytes, NextByteFindsTheFirstMatchAtEveryLengthAndOffset) {
  // The byte just past each text holds the needle, so a search that reads
  // past its end finds it there.
  std::vector<char> buffer(kOffsets + kLongest + 64, 'x');
  for (std::size_t offset = 0; offset < kOffsets; ++offset) {
    for (std::size_t length = 0; length <= kLongest; ++length) {
      std::fill(buffer.begin(), buffer.end(), 'x');
      const std::string_view text(buffer.data() + offset, length);
      // No match, but one just past the end.
      buffer[offset + length] = 'y';
      for (std::size_t from = 0; from <= length + 1; ++from) {
        ASSERT_EQ(TypeParam::nextByte(text, from, 'y'), std::string_view::npos) << offset << " " << length;
      }
      buffer[offset + length] = 'x';
      // A match at every position, found from before it and from it.
      for (std::size_t at = 0; at < length; ++at) {
        buffer[offset + at] = 'y';
        ASSERT_EQ(TypeParam::nextByte(text, 0, 'y'), at) << offset << " " << length;
        ASSERT_EQ(TypeParam::nextByte(text, at, 'y'), at) << offset << " " << length;
        ASSERT_EQ(TypeParam::nextByte(text, at + 1, 'y'), std::string_view::npos) << offset << " " << length;
        buffer[offset + at] = 'x';
      }
    }
  }
}

TYPED_TEST(ShortBytes, NextByteAgreesWithAPlainSearchOnRandomBytes) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    const std::string bytes = randomBytes(random, random() % 700);
    const std::size_t from = bytes.empty() ? 0 : random() % (bytes.size() + 2);
    for (char c : kAlphabet) {
      ASSERT_EQ(TypeParam::nextByte(bytes, from, c), std::string_view(bytes).find(c, from)) << round;
    }
  }
}

TYPED_TEST(ShortBytes, WindowMarksEveryNeedleBelowTheLength) {
  std::mt19937 random(11);
  std::vector<char> buffer(kOffsets + 64);
  for (int round = 0; round < 400; ++round) {
    for (std::size_t offset = 0; offset < kOffsets; ++offset) {
      const std::string bytes = randomBytes(random, 64);
      std::copy(bytes.begin(), bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
      const std::size_t length = random() % 80;
      const ByteWindow window = TypeParam::windowAt(buffer.data() + offset, length);
      for (std::size_t i = 0; i < 64; ++i) {
        const char c = i < length ? bytes[i] : '\0';
        const std::uint64_t bit = std::uint64_t{1} << i;
        ASSERT_EQ((window.newlines & bit) != 0, c == '\n') << round << " " << i;
        ASSERT_EQ((window.opens & bit) != 0, c == '(') << round << " " << i;
        ASSERT_EQ((window.commas & bit) != 0, c == ',') << round << " " << i;
        ASSERT_EQ((window.closes & bit) != 0, c == ')') << round << " " << i;
      }
    }
  }
}

TYPED_TEST(ShortBytes, CopyBytesCopiesExactlyEveryLengthAtEveryOffset) {
  std::mt19937 random(13);
  const std::string source = randomBytes(random, kOffsets + kLongest);
  for (std::size_t fromOffset = 0; fromOffset < kOffsets; ++fromOffset) {
    for (std::size_t toOffset = 0; toOffset < kOffsets; toOffset += 5) {
      for (std::size_t n = 0; n <= kLongest; ++n) {
        std::string target(kOffsets + kLongest + 16, '#');
        TypeParam::copyBytes(target.data() + toOffset, source.data() + fromOffset, n);
        std::string expected(kOffsets + kLongest + 16, '#');
        expected.replace(toOffset, n, source, fromOffset, n);
        ASSERT_EQ(target, expected) << fromOffset << " " << toOffset << " " << n;
      }
    }
  }
}

}  // namespace
