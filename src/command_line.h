#pragma once

#include <span>
#include <string>

// What the command line asks for.
struct Options {
  int dimensionLength = 0;  // the number of output files, at least 1
  std::string logFileName;  // never empty
  bool useFirst = false;
};

// Reads the arguments that follow the program name, last one first, so that
// the leftmost occurrence of an option wins. Every argument is examined before
// anything is reported. Throws Failure with the usage message (fewer than two
// arguments, an argument that is no known option, no -d, no -l that names a
// file) or, failing that, with the invalid-length message (a -d that is not a
// positive int).
Options parseCommandLine(std::span<const char* const> arguments);
