#include "failure.h"

#include <new>

#include "messages.h"

std::string messageOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Failure& known) {
    return known.what();
  } catch (const std::bad_alloc&) {
    return kOutOfMemoryMessage;
  } catch (const std::exception& other) {
    return unexpectedFailureMessage(other.what());
  } catch (...) {
    return unexpectedFailureMessage("");
  }
}
