#pragma once

#include <stdexcept>
#include <string>

// The one way this program reports a failure: throw a Failure that carries the
// exact text for standard error (newline included). main writes it and exits
// with status -1. Everything between the failure and main only unwinds.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};
