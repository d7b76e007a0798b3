#include "run.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "codecs/codec.h"
#include "command_line.h"
#include "failure.h"
#include "held_line.h"
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
// The most memory the encoders hold together: xz's and bzip2's hold several
// MiB each, so their threads are fewer than the cores where these are many.
constexpr std::size_t kMostEncoderMemory = std::size_t{40} << 20;

// A compressing thread for each core, within both bounds, and an encoder for
// this thread, which compresses too rather than wait: compressing costs more
// than decompressing and splitting together.
std::vector<std::unique_ptr<Encoder>> encodersFor(LogFormat format) {
  const auto affordable = static_cast<unsigned>(kMostEncoderMemory / encoderMemory(format));
  const unsigned threads =
      std::min(std::clamp(platform::usableProcessors(), 1u, kMostEncoders), std::max(affordable, 2u) - 1);
  std::vector<std::unique_ptr<Encoder>> encoders;
  for (unsigned i = 0; i <= threads; ++i) encoders.push_back(makeEncoder(format));
  return encoders;
}

// Where a line longer than the reader holds is kept while it is read: in
// TMPDIR where it is set, else beside the outputs, on their file system.
std::string heldLineDirectory(const OutputNames& names) {
  if (auto directory = platform::temporaryDirectory()) {
    const char last = directory->back();
    if (last != '/' && !(platform::kWindowsNames && (last == '\\' || last == ':'))) *directory += '/';
    return *directory;
  }
  return directoryOf(names.nameOf(0), names.rules());
}

// Creates the outputs and splits the log's lines from `source` into them. A
// function of its own, so that the per-line loop inlined here is compiled
// with the outputs and the reader as its only objects, whatever run() sets up.
// The outputs are checked against the log (`logIdentity`) once their memory
// is had, and before any is created, so that the log is never emptied.
// `rereadable` is the log where the lines come from it as they stand in it
// (a plain log that is a regular file): a line too long for memory is read
// again from it rather than kept in a temporary file.
[[gnu::noinline]] void splitInto(const Options& options, const OutputNames& names, ByteSource& source,
                                 const LogFile* rereadable, std::vector<std::unique_ptr<Encoder>> encoders,
                                 std::optional<platform::FileIdentity> logIdentity) {
  OutputSet outputs(names, options.dimensionLength);
  refuseUnsafeOutputs(names, options.dimensionLength, logIdentity);
  LineReader reader(source);
  HeldLine held = rereadable != nullptr ? HeldLine(rereadable->handle(), options.logFileName)
                                        : HeldLine(heldLineDirectory(names));
  outputs.create(std::move(encoders));
  splitLines(reader, held, outputs, options.useFirst);
}

}  // namespace

// The log as the split reads it: the file, its progress on a terminal, its
// first bytes read ahead to tell its format, and a compressed log's decoder,
// each reading from the one before. Held as one, so that a thread reading
// ahead can keep it for as long as a read of its own lasts.
struct LogChain {
  explicit LogChain(const std::string& name) : file(name) {}
  LogFile file;
  std::optional<Progress> progress;
  std::optional<SniffedLog> sniffed;
  std::unique_ptr<ByteSource> decoder;
};

void run(std::span<const char* const> arguments) {
  const Options options = parseCommandLine(arguments);
  const auto log = std::make_shared<LogChain>(options.logFileName);
  const OutputNames names(options.logFileName);
  // Progress only on a terminal: scripts see standard error untouched. It
  // is made before the outputs, so their creation counts in its time, and
  // ends (erasing its line) before any failure is reported, however run()
  // is left. It counts the bytes of the log as stored, compressed or not,
  // against its size.
  const platform::Handle terminal = platform::standardError();
  if (platform::isTerminal(terminal)) log->progress.emplace(log->file, terminal, log->file.size());
  struct EndProgress {
    LogChain& log;
    ~EndProgress() {
      if (log.progress) log.progress->end();
    }
  } endProgress{*log};
  // The format, from the first bytes, before any output is created: the
  // outputs are written in the log's own format.
  log->sniffed.emplace(log->progress ? static_cast<ByteSource&>(*log->progress) : log->file);
  const LogFormat format = log->sniffed->format();
  // A compressed log is decompressed on a thread of its own, ahead of the
  // split. When the run stops, that thread is not waited for: a read of a
  // pipe may never return.
  std::optional<ReadAhead> decoded;
  std::vector<std::unique_ptr<Encoder>> encoders;
  if (format != LogFormat::plain) {
    if (!canDecode(format)) throw Failure(compressedWithMessage(options.logFileName, formatName(format)));
    log->decoder = makeDecoder(format, *log->sniffed, options.logFileName);
    encoders = encodersFor(format);
    try {
      decoded.emplace(std::shared_ptr<ByteSource>(log, log->decoder.get()));
    } catch (const std::system_error&) {
      // No thread to spare: the log is decompressed on this one, between lines.
    }
  }
  ByteSource& lines = decoded        ? static_cast<ByteSource&>(*decoded)
                      : log->decoder ? *log->decoder
                                     : static_cast<ByteSource&>(*log->sniffed);
  const LogFile* rereadable = format == LogFormat::plain && log->file.size() ? &log->file : nullptr;
  splitInto(options, names, lines, rereadable, std::move(encoders), platform::identityOf(log->file.handle()));
}
