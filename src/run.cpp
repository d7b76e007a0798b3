#include "run.h"

#include <unistd.h>

#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "codecs/codec.h"
#include "command_line.h"
#include "failure.h"
#include "line_reader.h"
#include "log_format.h"
#include "messages.h"
#include "output_names.h"
#include "output_set.h"
#include "progress.h"
#include "split.h"

namespace {

constexpr int kEncoderThreads = 2;

// Creates the outputs and splits the log's lines from `source` into them. A
// function of its own, so that the per-line loop inlined here is compiled
// with the outputs and the reader as its only objects, whatever run() sets up.
[[gnu::noinline]] void splitInto(const Options& options, ByteSource& source, int logFd,
                                 std::vector<std::unique_ptr<Encoder>> encoders) {
  const OutputNames names(options.logFileName);
  OutputSet outputs(names, options.dimensionLength, OutputBudget{}, logFd, std::move(encoders));
  LineReader reader(source);
  splitLines(reader, outputs, options.useFirst);
}

}  // namespace

void run(std::span<const char* const> arguments) {
  try {
    const Options options = parseCommandLine(arguments);
    LogFile log(options.logFileName);
    // Progress only on a terminal: scripts see standard error untouched. It
    // is made before the outputs, so their creation counts in its time, and
    // ends (erasing its line) before any failure is reported. It counts the
    // bytes of the log as stored, compressed or not, against its size.
    std::optional<Progress> progress;
    if (::isatty(STDERR_FILENO)) progress.emplace(log, STDERR_FILENO, log.size());
    // The format, from the first bytes, before any output is created: the
    // outputs are written in the log's own format.
    SniffedLog sniffed(progress ? static_cast<ByteSource&>(*progress) : log);
    const LogFormat format = sniffed.format();
    std::unique_ptr<ByteSource> decoder;
    std::vector<std::unique_ptr<Encoder>> encoders;
    if (format != LogFormat::plain) {
      if (!canDecode(format)) throw Failure(compressedWithMessage(options.logFileName, formatName(format)));
      decoder = makeDecoder(format, sniffed, options.logFileName);
      // Compressing costs more than decompressing and splitting together:
      // two threads compress while this one splits.
      for (int i = 0; i < kEncoderThreads; ++i) encoders.push_back(makeEncoder(format));
    }
    splitInto(options, decoder ? *decoder : static_cast<ByteSource&>(sniffed), log.descriptor(),
              std::move(encoders));
  } catch (const std::bad_alloc&) {
    throw Failure(kOutOfMemoryMessage);
  }
}
