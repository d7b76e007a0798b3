#include "output_set.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>

#include "failure.h"
#include "messages.h"

#if !defined(MAP_ANONYMOUS) && defined(MAP_ANON)
#define MAP_ANONYMOUS MAP_ANON  // the older name, on some BSDs
#endif

namespace {

// Descriptors kept back for the standard streams, the log and the library.
constexpr int kReservedDescriptors = 16;

// Raises the soft limit on open files as far as the system lets it and
// returns how many outputs may stay open at once. The hard limit may be
// infinite (macOS; RLIM_INFINITY is larger than any other limit) or above
// what the kernel grants, so the raise aims at most at a million and halves
// its aim while the system refuses.
int outputsThatMayStayOpen() {
  constexpr rlim_t kMostWanted = rlim_t{1} << 20;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1;
  rlim_t wanted = std::min(limit.rlim_max, kMostWanted);
  for (; wanted > limit.rlim_cur; wanted /= 2) {
    rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
      break;
    }
  }
  const rlim_t usable = std::min(limit.rlim_cur, kMostWanted);
  return static_cast<int>(std::max<rlim_t>(usable, kReservedDescriptors + 1) - kReservedDescriptors);
}

// Throws when one of the `count` output names is the file open on `inputFd`.
void refuseOutputsOverInput(const OutputNames& names, int count, int inputFd) {
  struct stat input {};
  if (::fstat(inputFd, &input) != 0) return;
  for (int i = 0; i < count; ++i) {
    const std::string name = names.nameOf(i);
    struct stat output {};
    if (::stat(name.c_str(), &output) == 0 && output.st_dev == input.st_dev &&
        output.st_ino == input.st_ino) {
      throw Failure(outputIsInputMessage(name));
    }
  }
}

// Each output's share of the budget, within its bounds. A share of a page or
// more is a whole number of pages: full buffers are then written as whole
// pages, which a file system takes without zeroing or merging part pages.
std::size_t bufferSize(const OutputBudget& budget, int count) {
  constexpr std::size_t kPage = 4096;
  std::size_t share = budget.totalBytes / static_cast<std::size_t>(count);
  if (share >= kPage) share -= share % kPage;
  return std::clamp(share, budget.leastPerOutput, std::max(budget.leastPerOutput, budget.mostPerOutput));
}

// The bytes of `count` buffers of `each`; throws std::bad_alloc when that is
// more than the address space holds (a 32-bit system with millions of outputs).
std::size_t arenaSize(std::size_t each, std::size_t count) {
  if (count != 0 && each > SIZE_MAX / count) throw std::bad_alloc();
  return each * count;
}

// The table of `count` outputs; throws std::bad_alloc, as for any other
// allocation, when it cannot be held.
template <class Output>
std::vector<Output> outputTable(int count) {
  if (static_cast<std::size_t>(count) > std::vector<Output>().max_size()) throw std::bad_alloc();
  return std::vector<Output>(static_cast<std::size_t>(count));
}

}  // namespace

BufferArena::BufferArena(std::size_t size) : size_(size) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_NORESERVE
  // Reserve no swap for pages that may never be written (not on every system).
  flags |= MAP_NORESERVE;
#endif
  void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<char*>(mapped);
#ifdef MADV_HUGEPAGE
  // Lines land in buffers all over the arena; large pages spare a page walk
  // for nearly every line when there are thousands of outputs. Only advice:
  // where the system declines, or has no such advice, small pages serve as well.
  static_cast<void>(::madvise(data_, size_, MADV_HUGEPAGE));
#endif
}

BufferArena::~BufferArena() { ::munmap(data_, size_); }

OutputSet::OutputSet(OutputNames names, int count, const OutputBudget& budget, int inputFd,
                     std::vector<std::unique_ptr<Encoder>> encoders)
    : names_(std::move(names)),
      encoder_(!encoders.empty()
                   ? std::make_unique<EncoderThreads>(
                         std::move(encoders),
                         [this](int index, std::string_view compressed) { writeAll(index, compressed); })
                   : nullptr),
      outputs_(outputTable<Output>(count)),
      perOutput_(static_cast<std::uint32_t>(bufferSize(budget, count))),
      arena_(arenaSize(perOutput_, outputs_.size())) {
  if (inputFd >= 0) refuseOutputsOverInput(names_, count, inputFd);
  for (Output& output : outputs_) output.room = perOutput_;
  mostOpen_ = std::max(1, std::min(count, budget.mostOpen > 0 ? budget.mostOpen : outputsThatMayStayOpen()));
  for (int i = 0; i < count; ++i) {
    if (openCount_ == mostOpen_) evictOne();
    Descriptor fd(openFreeing(i, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC));
    if (!fd.isOpen()) throw Failure(unableToOpenMessage(names_.nameOf(i)));
    outputs_[static_cast<std::size_t>(i)].fd = std::move(fd);
    ++openCount_;
    openOrder_.push_back(i);
  }
}

void OutputSet::appendToAll(std::string_view head, std::string_view tail) {
  for (int i = 0; i < count(); ++i) append(i, head, tail);
}

void OutputSet::finish() {
  if (!encoder_) {
    for (int i = 0; i < count(); ++i) {
      flush(i);
      closeOutput(i);
    }
    return;
  }
  // Compressed: the last pieces are written once the thread has compressed
  // them, and only then are the files closed.
  for (int i = 0; i < count(); ++i) {
    flush(i);
    if (!outputs_[static_cast<std::size_t>(i)].written) writeOut(i, {});
  }
  encoder_->drain();
  for (int i = 0; i < count(); ++i) closeOutput(i);
}

void OutputSet::appendSlowly(int index, std::string_view head, std::string_view tail) {
  Output& output = outputs_[static_cast<std::size_t>(index)];
  // The buffer is filled to the brim and written whole, so that every write
  // of an output but its last is a full buffer: with many outputs and small
  // buffers, the number of writes is what costs.
  for (std::string_view piece : {head, tail}) {
    while (!piece.empty()) {
      if (output.room == 0) flush(index);
      if (output.used == 0 && piece.size() >= perOutput_) {
        writeOut(index, piece);  // a buffer or more: straight to the file
        break;
      }
      const std::size_t part = std::min<std::size_t>(output.room, piece.size());
      copyBytes(bufferOf(index) + output.used, piece.data(), part);
      output.used += static_cast<std::uint32_t>(part);
      output.room -= static_cast<std::uint32_t>(part);
      piece.remove_prefix(part);
    }
  }
}

void OutputSet::flush(int index) {
  Output& output = outputs_[static_cast<std::size_t>(index)];
  if (output.used == 0) return;
  writeOut(index, std::string_view(bufferOf(index), output.used));
  output.used = 0;
  output.room = perOutput_;
}

void OutputSet::writeOut(int index, std::string_view plain) {
  if (!encoder_) {
    writeAll(index, plain);
    return;
  }
  outputs_[static_cast<std::size_t>(index)].written = true;
  // A piece longer than a member may hold (a line of gigabytes) goes as several.
  do {
    const std::string_view part = plain.substr(0, Encoder::kMostPlain);
    encoder_->submit(index, part);
    plain.remove_prefix(part.size());
  } while (!plain.empty());
}

void OutputSet::writeAll(int index, std::string_view bytes) {
  if (bytes.empty()) return;
  ensureOpen(index);
  const int fd = outputs_[static_cast<std::size_t>(index)].fd.get();
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (written == 0 || errno != EINTR) {
      throw Failure(unableToWriteMessage(names_.nameOf(index)));
    }
  }
}

void OutputSet::ensureOpen(int index) {
  Output& output = outputs_[static_cast<std::size_t>(index)];
  if (output.fd.isOpen()) return;
  if (openCount_ == mostOpen_) evictOne();
  // Created empty at the start; from here on only appended to.
  output.fd = Descriptor(openFreeing(index, O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!output.fd.isOpen()) throw Failure(unableToWriteMessage(names_.nameOf(index)));
  ++openCount_;
  openOrder_.push_back(index);
}

void OutputSet::closeOutput(int index) {
  Output& output = outputs_[static_cast<std::size_t>(index)];
  if (!output.fd.isOpen()) return;
  --openCount_;
  if (!output.fd.close()) {
    throw Failure(unableToWriteMessage(names_.nameOf(index)));
  }
}

void OutputSet::evictOne() {
  while (!openOrder_.empty()) {
    const int oldest = openOrder_.front();
    openOrder_.pop_front();
    if (outputs_[static_cast<std::size_t>(oldest)].fd.isOpen()) {
      closeOutput(oldest);
      return;
    }
  }
}

int OutputSet::openFreeing(int index, int flags) {
  const std::string name = names_.nameOf(index);
  for (;;) {
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || openCount_ == 0) return fd;
    // The process or the system ran out of descriptors below our own bound.
    mostOpen_ = std::max(1, openCount_ - 1);
    evictOne();
  }
}
