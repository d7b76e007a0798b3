#pragma once

#include <string>
#include <string_view>
#include <vector>

// A set of outputs held in memory, with the interface splitLines needs; for
// tests and fuzzing, where the files' contents are to be looked at.
struct MemoryOutputs {
  explicit MemoryOutputs(int count) : files(static_cast<std::size_t>(count)) {}

  int count() const { return static_cast<int>(files.size()); }
  void append(int index, std::string_view head, std::string_view tail) {
    files.at(static_cast<std::size_t>(index)).append(head).append(tail);
  }
  void appendToAll(std::string_view head, std::string_view tail) {
    for (std::string& file : files) file.append(head).append(tail);
  }
  void finish() { finished = true; }

  std::vector<std::string> files;
  bool finished = false;
};
