#include "held_line.h"

#include <algorithm>

#include "failure.h"
#include "messages.h"

HeldLine::HeldLine(std::string directory) : directory_(std::move(directory)) {}

HeldLine::HeldLine(platform::Handle log, std::string logName)
    : path_(std::move(logName)), file_(log), ownsFile_(false) {}

HeldLine::~HeldLine() { close(); }

// The file of the line before is closed, which removes it on Windows; what
// the close reports does not matter, as nothing of it is kept.
void HeldLine::close() {
  if (ownsFile_ && file_ != platform::kNoHandle) platform::closeHandle(file_);
  if (ownsFile_) file_ = platform::kNoHandle;
  size_ = 0;
}

void HeldLine::start(std::uint64_t offset) {
  close();
  if (!piece_) piece_.reset(new char[kPiece]);
  if (!ownsFile_) {
    offset_ = offset;
    return;
  }
  offset_ = 0;
  file_ = platform::openTemporaryFile(directory_, path_);
  if (file_ == platform::kNoHandle) throw Failure(unableToWriteMessage(path_));
}

void HeldLine::append(std::string_view bytes) {
  if (ownsFile_ && !platform::writeAll(file_, bytes.data(), bytes.size())) {
    throw Failure(unableToWriteMessage(path_));
  }
  size_ += bytes.size();
}

std::size_t HeldLine::read(std::uint64_t offset, char* into, std::size_t capacity) const {
  const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, size_ - offset));
  const auto got = platform::readAt(file_, offset_ + offset, into, wanted);
  if (!got || *got == 0) throw Failure(unableToReadMessage(path_));
  return *got;
}
