#include "read_ahead.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "failure.h"
#include "memory_source.h"

namespace {

// Gives `bytes` as MemorySource does, then, with `fails`, throws Failure.
class EndingSource : public ByteSource {
 public:
  EndingSource(std::string_view bytes, std::size_t mostPerRead, bool fails)
      : bytes_(bytes, mostPerRead), fails_(fails) {}
  std::size_t read(char* into, std::size_t capacity) override {
    const std::size_t n = bytes_.read(into, capacity);
    if (n == 0 && fails_) throw Failure("unable to read\n");
    return n;
  }

 private:
  MemorySource bytes_;
  bool fails_;
};

// Every byte comes out in order, whatever the blocks and the reads, and a
// failure only after the last of them.
TEST(ReadAhead, GivesEveryByteInOrderThenTheEndOrTheFailure) {
  std::string log;
  for (int i = 0; i < 5000; ++i) log += std::to_string(i) + "\n";
  for (const bool fails : {false, true}) {
    for (const std::size_t mostPerRead : {std::size_t{1}, std::size_t{333}, SIZE_MAX}) {
      for (const std::size_t blockSize : {std::size_t{7}, std::size_t{4096}}) {
        ReadAhead ahead(std::make_shared<EndingSource>(log, mostPerRead, fails), blockSize, 3);
        std::string got;
        bool failed = false;
        std::vector<char> piece(100);
        try {
          for (std::size_t n; (n = ahead.read(piece.data(), 1 + got.size() % piece.size())) > 0;) {
            got.append(piece.data(), n);
          }
        } catch (const Failure&) {
          failed = true;
        }
        EXPECT_EQ(failed, fails) << mostPerRead << " " << blockSize;
        EXPECT_TRUE(got == log) << got.size() << " of " << log.size() << " bytes, reads of " << mostPerRead
                                << ", blocks of " << blockSize;
      }
    }
  }
}

}  // namespace
