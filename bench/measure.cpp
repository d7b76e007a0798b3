// Runs one command and prints its wall time in seconds, its peak resident
// memory in KiB and its processor time (user and system, its children's
// included) in seconds:  measure [-o OUT] [-t] COMMAND [ARG...]
// With -o, the command's standard output goes to OUT (created or emptied);
// with -t, its standard error is a pseudo-terminal (what it writes there, a
// few lines at most, is not read).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  int first = 1;
  const char* out = nullptr;
  if (argc > 2 && std::strcmp(argv[1], "-o") == 0) {
    out = argv[2];
    first = 3;
  }
  int terminal = -1;
  if (first < argc && std::strcmp(argv[first], "-t") == 0) {
    ++first;
    terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0) return 2;
  }
  if (first >= argc) {
    static_cast<void>(std::fputs("usage: measure [-o OUT] [-t] COMMAND [ARG...]\n", stderr));
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (out) {
      const int fd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 1) < 0) _exit(127);
      close(fd);
    }
    if (terminal >= 0) {
      const int err = open(ptsname(terminal), O_WRONLY | O_NOCTTY);
      if (err < 0 || dup2(err, 2) < 0) _exit(127);
      close(err);
    }
    execvp(argv[first], argv + first);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%.4f %ld %.4f\n", seconds, usage.ru_maxrss, cpu);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
