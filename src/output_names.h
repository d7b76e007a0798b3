#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

// The names of the output files, made from the log's name: the index goes in
// front of the first '.' anywhere in the name, directory parts included, or in
// front of the whole name when it has no '.' or begins with one
// ('run.log' gives 'run0.log', 'my.dir/run' gives 'my0.dir/run', 'log' gives
// '0log', '.log' gives '0.log').
class OutputNames {
 public:
  explicit OutputNames(std::string_view logFileName);

  // The name of output `index`.
  std::string nameOf(int index) const;

 private:
  std::string stem_;
  std::string extension_;
};

// Throws Failure "error using tovlak: output NAME is the input log" when one
// of outputs 0 … count-1 of `names` leads, through links or not, to the file
// `log` is, so that creating the outputs never empties the log.
void refuseOutputsThatAreTheLog(const OutputNames& names, int count, const platform::FileIdentity& log);
