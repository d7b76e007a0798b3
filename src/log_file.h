#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "byte_source.h"
#include "platform/descriptor.h"

// The log file, opened read-only.
class LogFile : public ByteSource {
 public:
  // Opens `name`; throws Failure with "unable ot open NAME" when it cannot be
  // opened for reading or is a directory.
  explicit LogFile(const std::string& name);

  std::size_t read(char* into, std::size_t capacity) override;
  platform::Handle handle() const { return file_.get(); }
  // The size of a regular file; none for a pipe or a device.
  std::optional<std::uint64_t> size() const { return platform::regularFileSize(file_.get()); }

 private:
  std::string name_;
  Descriptor file_;
};
