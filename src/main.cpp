#include <unistd.h>

#include <csignal>
#include <cstring>
#include <new>

#include "failure.h"
#include "messages.h"
#include "run.h"

namespace {

// Writes a message to standard error; there is nowhere to report a failure
// of that write, so it is the one write not checked.
void report(const char* message) {
  std::size_t left = std::strlen(message);
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, message, left);
    if (written <= 0) return;
    message += written;
    left -= static_cast<std::size_t>(written);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit then fails the write, which is reported, instead of
  // killing the process with a half-written output.
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  try {
    run({argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)});
    return 0;
  } catch (const Failure& failure) {
    report(failure.what());
  } catch (const std::bad_alloc&) {
    report(kOutOfMemoryMessage);
  }
  return -1;
}
