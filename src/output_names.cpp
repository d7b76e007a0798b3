#include "output_names.h"

#include "failure.h"
#include "messages.h"
#include "rewrite.h"

OutputNames::OutputNames(std::string_view logFileName) {
  // findCharacter's 0 for both "no dot" and "dot first" puts the index in front.
  const auto dot = static_cast<std::size_t>(findCharacter(logFileName, '.'));
  stem_ = logFileName.substr(0, dot);
  extension_ = logFileName.substr(dot);
}

std::string OutputNames::nameOf(int index) const { return stem_ + std::to_string(index) + extension_; }

void refuseOutputsThatAreTheLog(const OutputNames& names, int count, const platform::FileIdentity& log) {
  for (int i = 0; i < count; ++i) {
    const std::string name = names.nameOf(i);
    if (platform::identityOf(name) == log) throw Failure(outputIsInputMessage(name));
  }
}
