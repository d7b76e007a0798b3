#include "run.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "codecs/codec.h"
#include "command_line.h"
#include "failure.h"
#include "line_reader.h"
#include "log_file.h"
#include "log_format.h"
#include "messages.h"
#include "output_names.h"
#include "output_set.h"
#include "platform/platform.h"
#include "progress.h"
#include "read_ahead.h"
#include "split.h"

namespace {

// The most threads that compress: each holds a few pieces in flight, so the
// memory compression takes grows with them.
constexpr unsigned kMostEncoders = 8;

// A compressing thread for each core, within the bound, and an encoder for
// this thread, which compresses too rather than wait: compressing costs more
// than decompressing and splitting together.
std::vector<std::unique_ptr<Encoder>> encodersFor(LogFormat format) {
  const unsigned cores = std::clamp(platform::usableProcessors(), 1u, kMostEncoders);
  std::vector<std::unique_ptr<Encoder>> encoders;
  for (unsigned i = 0; i <= cores; ++i) encoders.push_back(makeEncoder(format));
  return encoders;
}

// Creates the outputs and splits the log's lines from `source` into them. A
// function of its own, so that the per-line loop inlined here is compiled
// with the outputs and the reader as its only objects, whatever run() sets up.
// The outputs are checked against the log (`logIdentity`) once their memory
// is had, and before any is created, so that the log is never emptied.
[[gnu::noinline]] void splitInto(const Options& options, const OutputNames& names, ByteSource& source,
                                 std::vector<std::unique_ptr<Encoder>> encoders,
                                 std::optional<platform::FileIdentity> logIdentity) {
  OutputSet outputs(names, options.dimensionLength);
  refuseUnsafeOutputs(names, options.dimensionLength, logIdentity);
  outputs.create(std::move(encoders));
  LineReader reader(source);
  splitLines(reader, outputs, options.useFirst);
}

}  // namespace

void run(std::span<const char* const> arguments) {
  const Options options = parseCommandLine(arguments);
  LogFile log(options.logFileName);
  const OutputNames names(options.logFileName);
  // Progress only on a terminal: scripts see standard error untouched. It
  // is made before the outputs, so their creation counts in its time, and
  // ends (erasing its line) before any failure is reported. It counts the
  // bytes of the log as stored, compressed or not, against its size.
  std::optional<Progress> progress;
  const platform::Handle terminal = platform::standardError();
  if (platform::isTerminal(terminal)) progress.emplace(log, terminal, log.size());
  // The format, from the first bytes, before any output is created: the
  // outputs are written in the log's own format.
  SniffedLog sniffed(progress ? static_cast<ByteSource&>(*progress) : log);
  const LogFormat format = sniffed.format();
  std::unique_ptr<ByteSource> decoder;
  // A compressed log is decompressed on a thread of its own, ahead of the split.
  std::optional<ReadAhead> decoded;
  std::vector<std::unique_ptr<Encoder>> encoders;
  if (format != LogFormat::plain) {
    if (!canDecode(format)) throw Failure(compressedWithMessage(options.logFileName, formatName(format)));
    decoder = makeDecoder(format, sniffed, options.logFileName);
    encoders = encodersFor(format);
    try {
      decoded.emplace(*decoder);
    } catch (const std::system_error&) {
      // No thread to spare: the log is decompressed on this one, between lines.
    }
  }
  ByteSource& lines = decoded   ? static_cast<ByteSource&>(*decoded)
                      : decoder ? *decoder
                                : static_cast<ByteSource&>(sniffed);
  splitInto(options, names, lines, std::move(encoders), platform::identityOf(log.handle()));
}
