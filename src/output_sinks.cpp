#include "output_sinks.h"

#include <exception>
#include <string>
#include <utility>

#include "codecs/encoder_pool.h"
#include "failure.h"
#include "output_table.h"

namespace {

// Closes every file, checked, and throws the first failure (of the closes or
// `first`) once all are closed.
void closeAll(OpenFiles& files, std::exception_ptr first) {
  for (int i = 0; i < files.count(); ++i) keepFirstFailure(first, [&] { files.close(i); });
  if (first) std::rethrow_exception(first);
}

class PlainSink : public OutputSink {
 public:
  explicit PlainSink(OpenFiles& files) : files_(files) {}

  void take(int index, std::string_view plain) override { files_.write(index, plain); }
  void finish() override { closeAll(files_, nullptr); }

 private:
  OpenFiles& files_;
};

class CompressedSink : public OutputSink {
 public:
  CompressedSink(OpenFiles& files, std::vector<std::unique_ptr<Encoder>> encoders)
      : files_(files),
        written_(outputTable<bool>(files.count())),
        // Made now, while memory is had: an output is completed with it even
        // when the run has failed for want of memory.
        emptyMember_(encoders.front()->encode({})),
        pool_(std::move(encoders), [this](int index, std::string_view compressed) {
          files_.write(index, compressed);
          written_[static_cast<std::size_t>(index)] = true;
        }) {}

  void take(int index, std::string_view plain) override {
    // A piece longer than a member may hold (a line of gigabytes) goes as several.
    do {
      const std::string_view part = plain.substr(0, Encoder::kMostPlain);
      pool_.submit(index, part);
      plain.remove_prefix(part.size());
    } while (!plain.empty());
  }

  void finish() override {
    std::exception_ptr first;
    keepFirstFailure(first, [&] { pool_.drain(); });
    // An output with no member written, because it got nothing or because
    // its first piece failed to be compressed, gets one, empty, so that its
    // file is valid whatever else failed.
    for (int i = 0; i < files_.count(); ++i) {
      if (!written_[static_cast<std::size_t>(i)]) {
        keepFirstFailure(first, [&] { files_.write(i, emptyMember_); });
      }
    }
    closeAll(files_, first);
  }

 private:
  OpenFiles& files_;
  std::vector<bool> written_;  // whether a member of the output has been written
  std::string emptyMember_;
  EncoderPool pool_;
};

}  // namespace

std::unique_ptr<OutputSink> plainSink(OpenFiles& files) { return std::make_unique<PlainSink>(files); }

std::unique_ptr<OutputSink> compressedSink(OpenFiles& files, std::vector<std::unique_ptr<Encoder>> encoders) {
  return std::make_unique<CompressedSink>(files, std::move(encoders));
}
