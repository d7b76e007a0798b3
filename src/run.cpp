#include "run.h"

#include <unistd.h>

#include <new>
#include <optional>

#include "command_line.h"
#include "failure.h"
#include "line_reader.h"
#include "messages.h"
#include "output_names.h"
#include "output_set.h"
#include "progress.h"
#include "split.h"

void run(std::span<const char* const> arguments) {
  try {
    const Options options = parseCommandLine(arguments);
    LogFile log(options.logFileName);
    // Progress only on a terminal: scripts see standard error untouched. It
    // is made before the outputs, so their creation counts in its time, and
    // ends (erasing its line) before any failure is reported.
    std::optional<Progress> progress;
    if (::isatty(STDERR_FILENO)) progress.emplace(log, STDERR_FILENO, log.size());
    const OutputNames names(options.logFileName);
    OutputSet outputs(names, options.dimensionLength, OutputBudget{}, log.descriptor());
    LineReader reader(progress ? static_cast<ByteSource&>(*progress) : log);
    splitLines(reader, outputs, options.useFirst);
  } catch (const std::bad_alloc&) {
    throw Failure(kOutOfMemoryMessage);
  }
}
