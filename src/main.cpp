#include <exception>
#include <string>
#include <vector>

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
    const std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
    std::vector<const char*> pointers;
    pointers.reserve(arguments.size());
    for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
    run(pointers);
    return 0;
  } catch (...) {
    // There is nowhere to report a failure of this write.
    const std::string message = messageOf(std::current_exception());
    static_cast<void>(platform::writeAll(platform::standardError(), message.data(), message.size()));
  }
  return -1;
}
