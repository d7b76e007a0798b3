#pragma once

#include <deque>
#include <string>
#include <vector>

#include "output_names.h"
#include "platform/descriptor.h"

// The output files, each created once and then only appended to, with at most
// a bounded number open at a time: when there are more outputs than handles,
// the one open longest is closed to open another, and reopened for appending
// when it is written again, so every file ends up as if all had been open all
// along. Every failure throws Failure: "unable ot open NAME" when a file
// cannot be created, "unable to write NAME" when a write, a reopening or a
// close fails.
class OpenFiles {
 public:
  // Outputs 0 … count-1, at most `mostOpen` of them open at once (0: as many
  // as the open-file limit allows, which it raises).
  OpenFiles(OutputNames names, int count, int mostOpen);
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;

  // Creates output `index`, or empties it when it exists.
  void create(int index);
  // Appends `bytes` to output `index`, reopening it if it was closed. Once
  // a write to it has failed, every later one fails too, writing nothing.
  void write(int index, std::string_view bytes);
  // Closes output `index` if it is open, checked.
  void close(int index);
  int count() const { return static_cast<int>(files_.size()); }

 private:
  // Opens output `index` in `mode`, closing the one open longest first when
  // the bound is reached, and while the process or the system has no handle
  // left below the bound; false when it cannot be opened.
  bool open(int index, platform::OpenMode mode);
  // Closes the output that has been open longest, to free a handle; false
  // when none is open.
  bool evictOne();

  struct File {
    Descriptor handle;
    // A write to it failed: nothing more is written to it, so that it never
    // holds bytes with a gap before them.
    bool failed = false;
  };

  OutputNames names_;
  std::vector<File> files_;
  int mostOpen_;
  int openCount_ = 0;
  std::deque<int> openOrder_;  // may hold outputs closed since; they are skipped
};
