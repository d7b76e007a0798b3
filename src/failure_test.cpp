#include "failure.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

// Whatever is thrown, one line on standard error: out of memory only for
// std::bad_alloc.
TEST(MessageOf, GivesOneLineForEveryFailure) {
  const struct {
    std::function<void()> thrower;
    std::string message;
  } cases[] = {
      {[] { throw Failure("unable to read run.log\n"); }, "unable to read run.log\n"},
      {[] { throw std::bad_alloc(); }, "error using tovlak: out of memory\n"},
      {[] { throw std::length_error("vector too long"); },
       "error using tovlak: unexpected failure: vector too long\n"},
      {[] {
         throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again), "thread");
       },
       "error using tovlak: unexpected failure: thread: " +
           std::make_error_code(std::errc::resource_unavailable_try_again).message() + "\n"},
      {[] { throw std::runtime_error("two\nlines\r"); },
       "error using tovlak: unexpected failure: two lines \n"},
      {[] { throw 7; }, "error using tovlak: unexpected failure\n"},
  };
  for (const auto& c : cases) {
    try {
      c.thrower();
      FAIL() << "nothing thrown for " << c.message;
    } catch (...) {
      EXPECT_EQ(messageOf(std::current_exception()), c.message);
    }
  }
}

}  // namespace
