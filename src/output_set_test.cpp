#include "output_set.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "failure.h"
#include "open_handles.h"
#include "temporary_files.h"

namespace {

// Gives each piece back as it is, after a wait that varies with the piece, so
// that the threads finish out of order.
class SlowCopy : public Encoder {
 public:
  std::string_view encode(std::string_view plain) override {
    std::this_thread::sleep_for(std::chrono::microseconds(plain.size() % 7 * 50));
    return plain;
  }
};

// Appends a mix of short, buffer-sized and oversized pieces to every output
// and checks the files against the same appends kept in memory, for budgets
// that force small buffers and very few open descriptors, written directly
// and through encoder threads.
TEST(OutputSet, FilesMatchTheAppendsWhateverTheBudget) {
  const struct {
    int count;
    OutputBudget budget;
  } cases[] = {
      {3, OutputBudget{}},
      {5, OutputBudget{64, 16, 16, 0}},
      {40, OutputBudget{1 << 10, 64, 16, 3}},
      {7, OutputBudget{1 << 10, 64, 16, 1}},
  };
  for (const auto& c : cases) {
    for (bool threads : {false, true}) {
      TemporaryDirectory directory;
      const std::string log = directory / "out.txt";
      std::vector<std::string> expected(static_cast<std::size_t>(c.count));
      {
        std::vector<std::unique_ptr<Encoder>> encoders;
        if (threads) {
          encoders.push_back(std::make_unique<SlowCopy>());
          encoders.push_back(std::make_unique<SlowCopy>());
        }
        OutputSet outputs(OutputNames(log), c.count, c.budget);
        outputs.create(std::move(encoders));
        for (int step = 0; step < 500; ++step) {
          const std::string head(static_cast<std::size_t>(step % 23), static_cast<char>('a' + step % 26));
          const std::string tail = step % 50 == 0 ? std::string(200, 'L') : std::to_string(step) + "\n";
          if (step % 17 == 0) {
            outputs.appendToAll(head, tail);
            for (std::string& e : expected) e += head + tail;
          } else {
            const int index = (step * 7) % c.count;
            outputs.append(index, head, tail);
            expected[static_cast<std::size_t>(index)] += head + tail;
          }
        }
        outputs.finish();
      }
      for (int i = 0; i < c.count; ++i) {
        EXPECT_EQ(readFile(directory / ("out" + std::to_string(i) + ".txt")),
                  expected[static_cast<std::size_t>(i)])
            << "count " << c.count << " output " << i << " threads " << threads;
      }
    }
  }
}

// Gives each piece back as it is, but throws `failure` on any piece of
// output 0 (whose lines begin with '0').
class FailingOnOutputZero : public Encoder {
 public:
  explicit FailingOnOutputZero(std::function<void()> failure) : failure_(std::move(failure)) {}
  std::string_view encode(std::string_view plain) override {
    if (plain.starts_with("0")) failure_();
    return plain;
  }

 private:
  std::function<void()> failure_;
};

// When one output's piece fails, every other output still holds every line
// appended to it before the failure, and nothing but what was appended: the
// piece in hand when another's failure comes out is not lost. One encoder,
// on the calling thread, so that the order is the same on every run.
TEST(OutputSet, OneOutputsFailureCostsNoOtherOutputALine) {
  const std::vector<std::function<void()>> failing = {
      [] { throw std::bad_alloc(); },
      [] { throw Failure("unable to write out0.txt\n"); },
  };
  for (std::size_t kind = 0; kind < failing.size(); ++kind) {
    TemporaryDirectory directory;
    constexpr int kCount = 5;
    std::vector<std::string> expected(kCount), beforeFailure(kCount);
    {
      std::vector<std::unique_ptr<Encoder>> encoders;
      encoders.push_back(std::make_unique<FailingOnOutputZero>(failing[kind]));
      OutputSet outputs(OutputNames(directory / "out.txt"), kCount,
                        OutputBudget{std::size_t{kCount} * 64, 64, 64, 0});
      outputs.create(std::move(encoders));
      try {
        for (int line = 0; line < 1000; ++line) {
          const int index = line * 3 % kCount;
          const std::string text = std::to_string(index) + " line " + std::to_string(line) + "\n";
          beforeFailure = expected;
          expected[static_cast<std::size_t>(index)] += text;
          outputs.append(index, text, "");
        }
        ADD_FAILURE() << "no failure";
      } catch (...) {
      }
    }
    for (int i = 1; i < kCount; ++i) {
      const std::string file = readFile(directory / ("out" + std::to_string(i) + ".txt"));
      EXPECT_TRUE(file.starts_with(beforeFailure[static_cast<std::size_t>(i)]))
          << kind << " output " << i << ": " << file.size() << " bytes";
      EXPECT_TRUE(expected[static_cast<std::size_t>(i)].starts_with(file)) << kind << " output " << i;
    }
  }
}

// The outputs opened before the one that fails are closed, not leaked.
TEST(OutputSet, EmptiesExistingFilesAndReportsAnOutputItCannotCreate) {
  TemporaryDirectory directory;
  writeFile(directory / "r0.log", "old contents");
  std::filesystem::create_directory(directory / "r2.log");
  const int openBefore = openHandles();
  std::string error = "none: created an output over a directory";
  try {
    OutputSet outputs(OutputNames(directory / "r.log"), 4);
    outputs.create();
  } catch (const Failure& failure) {
    error = failure.what();
  }
  EXPECT_EQ(error, "unable ot open " + (directory / "r2.log") + "\n");
  EXPECT_EQ(openHandles(), openBefore);
  EXPECT_EQ(readFile(directory / "r0.log"), "");
  EXPECT_TRUE(std::filesystem::exists(directory / "r1.log"));
  EXPECT_FALSE(std::filesystem::exists(directory / "r3.log"));
}

}  // namespace
