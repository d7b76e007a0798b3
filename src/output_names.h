#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

// How names are read: as POSIX reads them, or as Windows does.
enum class NameRules { posix, windows };
inline constexpr NameRules kSystemNameRules = platform::kWindowsNames ? NameRules::windows : NameRules::posix;

// The names of the output files, made from the log's name: the index goes in
// front of the first '.' anywhere in the name, directory parts included, or in
// front of the whole name when it has no '.' or begins with one
// ('run.log' gives 'run0.log', 'my.dir/run' gives 'my0.dir/run', 'log' gives
// '0log', '.log' gives '0.log'). Under Windows rules the search starts after
// the name's root, which is never changed: '\\fs.corp\logs\run.log' gives
// '\\fs.corp\logs\run0.log', and 'C:log' gives 'C:0log'.
class OutputNames {
 public:
  explicit OutputNames(std::string_view logFileName, NameRules rules = kSystemNameRules);

  // The name of output `index`.
  std::string nameOf(int index) const;
  NameRules rules() const { return rules_; }

 private:
  std::string stem_;
  std::string extension_;
  NameRules rules_;
};

// The directory part of `name`: everything up to and including its last
// separator ('/', and '\\' under Windows rules), or its root under Windows
// rules ('C:' of 'C:log'); "" for a name in the current directory.
std::string directoryOf(std::string_view name, NameRules rules = kSystemNameRules);

// The length of the root of a Windows name, which no output name changes: a
// drive (C: or C:\), a server and share (\\server\share\ with either slash,
// and \\?\UNC\server\share\), or the prefix \\?\ or \\.\ of a name; 0 for a
// name without one.
std::size_t windowsRootLength(std::string_view name);

// Whether Windows opens a file of this name as a device, wherever it is: its
// last part is CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9 (or with the
// digits ¹, ² or ³), in any case, with any extension, trailing dots and
// spaces left out.
bool isWindowsDeviceName(std::string_view name);

// Throws Failure, before any output is created, when outputs 0 … count-1
// cannot safely be written: under Windows rules "unable ot open NAME" for the
// first that is a device; "error using tovlak: output NAME is the input log"
// for one that leads, through links or not, to the file `log` is, so that the
// log is never emptied; "error using tovlak: outputs A and B are one file"
// for two that lead to one file, which would interleave.
void refuseUnsafeOutputs(const OutputNames& names, int count,
                         const std::optional<platform::FileIdentity>& log);
