#include "open_files.h"

#include <algorithm>
#include <utility>

#include "failure.h"
#include "messages.h"
#include "output_table.h"

namespace {

// Handles kept back for the standard streams, the log and the libraries.
constexpr int kReservedHandles = 16;
// The most files the open-file limit is raised to.
constexpr std::size_t kMostWanted = std::size_t{1} << 20;

// How many outputs may stay open at once under the open-file limit.
int outputsThatMayStayOpen() {
  const std::size_t limit = platform::raiseOpenFileLimit(kMostWanted);
  return static_cast<int>(std::max<std::size_t>(limit, kReservedHandles + 1) - kReservedHandles);
}

}  // namespace

OpenFiles::OpenFiles(OutputNames names, int count, int mostOpen)
    : names_(std::move(names)),
      files_(outputTable<File>(count)),
      mostOpen_(std::max(1, std::min(count, mostOpen > 0 ? mostOpen : outputsThatMayStayOpen()))) {}

void OpenFiles::create(int index) {
  if (!open(index, platform::OpenMode::createEmpty)) throw Failure(unableToOpenMessage(names_.nameOf(index)));
}

void OpenFiles::write(int index, std::string_view bytes) {
  if (bytes.empty()) return;
  File& file = files_[static_cast<std::size_t>(index)];
  // Created empty at the start; from here on only appended to.
  file.failed = file.failed || (!file.handle.isOpen() && !open(index, platform::OpenMode::append)) ||
                !platform::writeAll(file.handle.get(), bytes.data(), bytes.size());
  if (file.failed) throw Failure(unableToWriteMessage(names_.nameOf(index)));
}

void OpenFiles::close(int index) {
  Descriptor& handle = files_[static_cast<std::size_t>(index)].handle;
  if (!handle.isOpen()) return;
  --openCount_;
  if (!handle.close()) throw Failure(unableToWriteMessage(names_.nameOf(index)));
}

bool OpenFiles::open(int index, platform::OpenMode mode) {
  if (openCount_ == mostOpen_) evictOne();
  const std::string name = names_.nameOf(index);
  for (;;) {
    platform::OpenFailure failure = platform::OpenFailure::none;
    Descriptor file(platform::openFile(name, mode, &failure));
    if (file.isOpen()) {
      files_[static_cast<std::size_t>(index)].handle = std::move(file);
      ++openCount_;
      openOrder_.push_back(index);
      return true;
    }
    if (failure != platform::OpenFailure::outOfHandles || openCount_ == 0) return false;
    // The process or the system ran out of handles below our own bound (the
    // process inherited many, say): the bound comes down to leave as many
    // spare as at the start, for the libraries and the log.
    mostOpen_ = std::max(1, openCount_ - kReservedHandles);
    while (openCount_ >= mostOpen_ && evictOne()) {
    }
  }
}

bool OpenFiles::evictOne() {
  while (!openOrder_.empty()) {
    const int oldest = openOrder_.front();
    openOrder_.pop_front();
    if (files_[static_cast<std::size_t>(oldest)].handle.isOpen()) {
      close(oldest);
      return true;
    }
  }
  return false;
}
