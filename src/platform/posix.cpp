// The operating system for POSIX systems (Linux, the BSDs, macOS). What goes
// beyond POSIX (large pages, a mapping without swap reserved) is used where
// the system defines it.
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform.h"

#if !defined(MAP_ANONYMOUS) && defined(MAP_ANON)
#define MAP_ANONYMOUS MAP_ANON  // the older name, on some BSDs
#endif

namespace platform {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  return {argv + std::min(argc, 1), argv + argc};
}

Handle standardError() { return STDERR_FILENO; }

Handle openFile(const std::string& name, OpenMode mode, OpenFailure* failure) {
  int flags = O_RDONLY;
  if (mode == OpenMode::createEmpty) flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (mode == OpenMode::append) flags = O_WRONLY | O_APPEND;
  const int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  if (failure != nullptr) {
    *failure = fd >= 0                              ? OpenFailure::none
               : errno == EMFILE || errno == ENFILE ? OpenFailure::outOfHandles
                                                    : OpenFailure::other;
  }
  return fd;
}

std::optional<std::size_t> readSome(Handle handle, char* into, std::size_t capacity) {
  for (;;) {
    const ssize_t got = ::read(handle, into, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return std::nullopt;
  }
}

Handle openTemporaryFile(const std::string& directory, std::string& path) {
  std::string name = directory + ".tovlak-XXXXXX";
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  path = name;
  if (fd < 0) return kNoHandle;
  if (::unlink(name.c_str()) != 0) {
    ::close(fd);
    return kNoHandle;
  }
  return fd;
}

std::optional<std::size_t> readAt(Handle handle, std::uint64_t offset, char* into, std::size_t capacity) {
  for (;;) {
    const ssize_t got = ::pread(handle, into, capacity, static_cast<off_t>(offset));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return std::nullopt;
  }
}

std::optional<std::string> temporaryDirectory() {
  const char* directory =
      std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): read before any thread starts
  if (directory == nullptr || *directory == '\0') return std::nullopt;
  return std::string(directory);
}

bool writeAll(Handle handle, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(handle, bytes, size);
    if (written > 0) {
      bytes += written;
      size -= static_cast<std::size_t>(written);
    } else if (written == 0 || errno != EINTR) {
      return false;
    }
  }
  return true;
}

// An interrupted close has closed the descriptor.
bool closeHandle(Handle handle) { return ::close(handle) == 0 || errno == EINTR; }

bool isDirectory(Handle handle) {
  struct stat info {};
  return ::fstat(handle, &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<std::uint64_t> regularFileSize(Handle handle) {
  struct stat info {};
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

namespace {

FileIdentity identityOfStat(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

std::optional<FileIdentity> identityOf(Handle handle, bool /*indexOnly*/) {
  struct stat info {};
  if (::fstat(handle, &info) != 0) return std::nullopt;
  return identityOfStat(info);
}

std::optional<FileIdentity> identityOf(const std::string& name, bool /*indexOnly*/) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0) return std::nullopt;
  return identityOfStat(info);
}

// The hard limit may be infinite (macOS; RLIM_INFINITY is larger than any
// other limit) or above what the kernel grants, so the raise aims at most at
// `mostWanted` and halves its aim while the system refuses.
std::size_t raiseOpenFileLimit(std::size_t mostWanted) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const auto most = static_cast<rlim_t>(mostWanted);
  for (rlim_t wanted = std::min(limit.rlim_max, most); wanted > limit.rlim_cur; wanted /= 2) {
    rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
      break;
    }
  }
  return static_cast<std::size_t>(std::min(limit.rlim_cur, most));
}

char* mapMemory(std::size_t size) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_NORESERVE
  // Reserve no swap for pages that may never be written (not on every system).
  flags |= MAP_NORESERVE;
#endif
  void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  // Only advice: where the system declines, or has no such advice, small
  // pages serve as well.
  static_cast<void>(::madvise(mapped, size, MADV_HUGEPAGE));
#endif
  return static_cast<char*>(mapped);
}

void unmapMemory(char* memory, std::size_t size) { ::munmap(memory, size); }

unsigned usableProcessors() {
#ifdef CPU_COUNT
  // Linux: a container or taskset may allow fewer processors than the
  // machine has, and a thread for each of the machine's would crowd them.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&allowed));
  }
#endif
  return std::max(1u, std::thread::hardware_concurrency());
}

bool isTerminal(Handle handle) { return ::isatty(handle) == 1; }

void reportFailedWritesInsteadOfSignals() {
  static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
  static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
}

}  // namespace platform
