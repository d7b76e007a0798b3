#include "run.h"

#include <new>

#include "command_line.h"
#include "failure.h"
#include "line_reader.h"
#include "output_names.h"
#include "output_set.h"
#include "split.h"

void run(std::span<const char* const> arguments) {
  try {
    const Options options = parseCommandLine(arguments);
    LogFile log(options.logFileName);
    const OutputNames names(options.logFileName);
    OutputSet outputs(names, options.dimensionLength, OutputBudget{}, log.descriptor());
    LineReader reader(log);
    splitLines(reader, outputs, options.useFirst);
  } catch (const std::bad_alloc&) {
    throw Failure(kOutOfMemoryMessage);
  }
}
