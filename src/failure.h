#pragma once

#include <exception>
#include <stdexcept>
#include <string>

// The one way this program reports a failure: throw a Failure that carries the
// exact text for standard error (newline included). main writes it and exits
// with status -1. Everything between the failure and main only unwinds.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

// The one line for standard error that any failure leaves with: a Failure's
// own message, "error using tovlak: out of memory" for std::bad_alloc, and a
// line that begins "error using tovlak: " and names any other exception.
std::string messageOf(const std::exception_ptr& failure);

// Runs `step`, keeping its failure in `first` when `first` holds none yet,
// instead of throwing it: for work that goes on past a failure (completing
// every output) and throws the first one at the end.
template <class Step>
void keepFirstFailure(std::exception_ptr& first, Step step) {
  try {
    step();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
}
