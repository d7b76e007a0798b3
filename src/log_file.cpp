#include "log_file.h"

#include "failure.h"
#include "messages.h"

LogFile::LogFile(const std::string& name)
    : name_(name), file_(platform::openFile(name, platform::OpenMode::read)) {
  if (!file_.isOpen() || platform::isDirectory(file_.get())) throw Failure(unableToOpenMessage(name));
}

std::size_t LogFile::read(char* into, std::size_t capacity) {
  const std::optional<std::size_t> got = platform::readSome(file_.get(), into, capacity);
  if (!got) throw Failure(unableToReadMessage(name_));
  return *got;
}
