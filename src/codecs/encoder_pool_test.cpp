#include "encoder_pool.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

// Runs out of memory on the piece "fail".
class FailingOnOne : public Encoder {
 public:
  std::string_view encode(std::string_view plain) override {
    if (plain == "fail") throw std::bad_alloc();
    return plain;
  }
};

// A failed piece is reported where it stands: every piece before it is
// written, none after it, and the threads end.
TEST(EncoderPool, ReportsAFailedPieceAfterThoseBeforeIt) {
  std::vector<std::string> written;
  std::vector<std::unique_ptr<Encoder>> encoders;
  encoders.push_back(std::make_unique<FailingOnOne>());
  encoders.push_back(std::make_unique<FailingOnOne>());
  EncoderPool threads(std::move(encoders), [&](int, std::string_view piece) { written.emplace_back(piece); });
  bool failed = false;
  try {
    for (int i = 0; i < 100; ++i) threads.submit(0, i == 40 ? "fail" : std::to_string(i));
    threads.drain();
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  EXPECT_TRUE(failed);
  ASSERT_EQ(written.size(), 40u);
  for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], std::to_string(i));
}

}  // namespace
