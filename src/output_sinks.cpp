#include "output_sinks.h"

#include <exception>
#include <utility>

#include "codecs/encoder_pool.h"
#include "output_table.h"

namespace {

// Runs `step`, keeping the first failure in `first` instead of throwing it.
template <class Step>
void keepGoing(std::exception_ptr& first, Step step) {
  try {
    step();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
}

// Closes every file, checked, and throws the first failure (of the closes or
// `first`) once all are closed.
void closeAll(OpenFiles& files, int count, std::exception_ptr first) {
  for (int i = 0; i < count; ++i) keepGoing(first, [&] { files.close(i); });
  if (first) std::rethrow_exception(first);
}

class PlainSink : public OutputSink {
 public:
  PlainSink(OpenFiles& files, int count) : files_(files), count_(count) {}

  void take(int index, std::string_view plain) override { files_.write(index, plain); }
  void finish() override { closeAll(files_, count_, nullptr); }

 private:
  OpenFiles& files_;
  int count_;
};

class CompressedSink : public OutputSink {
 public:
  CompressedSink(OpenFiles& files, int count, std::vector<std::unique_ptr<Encoder>> encoders)
      : files_(files),
        queued_(outputTable<bool>(count)),
        pool_(std::move(encoders),
              [&files](int index, std::string_view compressed) { files.write(index, compressed); }) {}

  void take(int index, std::string_view plain) override {
    queued_[static_cast<std::size_t>(index)] = true;
    // A piece longer than a member may hold (a line of gigabytes) goes as several.
    do {
      const std::string_view part = plain.substr(0, Encoder::kMostPlain);
      pool_.submit(index, part);
      plain.remove_prefix(part.size());
    } while (!plain.empty());
  }

  void finish() override {
    std::exception_ptr first;
    const int count = static_cast<int>(queued_.size());
    for (int i = 0; i < count; ++i) {
      if (!queued_[static_cast<std::size_t>(i)]) keepGoing(first, [&] { pool_.submit(i, {}); });
    }
    keepGoing(first, [&] { pool_.drain(); });
    closeAll(files_, count, first);
  }

 private:
  OpenFiles& files_;
  std::vector<bool> queued_;  // whether a piece of the output has been queued
  EncoderPool pool_;
};

}  // namespace

std::unique_ptr<OutputSink> plainSink(OpenFiles& files, int count) {
  return std::make_unique<PlainSink>(files, count);
}

std::unique_ptr<OutputSink> compressedSink(OpenFiles& files, int count,
                                           std::vector<std::unique_ptr<Encoder>> encoders) {
  return std::make_unique<CompressedSink>(files, count, std::move(encoders));
}
