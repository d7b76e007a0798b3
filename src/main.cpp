#include <exception>
#include <string>

#include "failure.h"
#include "platform/platform.h"
#include "run.h"

// Runs tovlak; every failure, whatever threw it, leaves here with its one
// line on standard error and status -1.
int main(int argc, char** argv) {
  // A file-size limit, or a pipe whose reader has gone, then fails the write,
  // which is reported, instead of killing the process with the other outputs
  // unfinished.
  platform::reportFailedWritesInsteadOfSignals();
  try {
    run({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)});
    return 0;
  } catch (...) {
    // There is nowhere to report a failure of this write.
    const std::string message = messageOf(std::current_exception());
    static_cast<void>(platform::writeAll(platform::standardError(), message.data(), message.size()));
  }
  return -1;
}
