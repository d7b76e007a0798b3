#include "output_names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <utility>

#include "failure.h"
#include "messages.h"
#include "rewrite.h"

namespace {

bool isSlash(char c) { return c == '/' || c == '\\'; }

bool sameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The position after `parts` more parts of `name` from `from`, each with the
// slash that ends it; the name's end when it has fewer.
std::size_t afterParts(std::string_view name, std::size_t from, int parts) {
  for (int i = 0; i < parts; ++i) {
    const auto slash = std::find_if(name.begin() + static_cast<std::ptrdiff_t>(from), name.end(), isSlash);
    if (slash == name.end()) return name.size();
    from = static_cast<std::size_t>(slash - name.begin()) + 1;
  }
  return from;
}

}  // namespace

std::string directoryOf(std::string_view name, NameRules rules) {
  const bool windows = rules == NameRules::windows;
  const std::size_t root = windows ? windowsRootLength(name) : 0;
  const std::size_t last = windows ? name.find_last_of("/\\") : name.rfind('/');
  if (last == std::string_view::npos || last < root) return std::string(name.substr(0, root));
  return std::string(name.substr(0, last + 1));
}

std::size_t windowsRootLength(std::string_view name) {
  if (sameLetters(name.substr(0, 8), R"(\\?\UNC\)")) return afterParts(name, 8, 2);
  if (name.starts_with(R"(\\?\)") || name.starts_with(R"(\\.\)")) return 4;
  if (name.size() >= 2 && isSlash(name[0]) && isSlash(name[1])) return afterParts(name, 2, 2);
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    return name.size() > 2 && isSlash(name[2]) ? 3 : 2;
  }
  return 0;
}

bool isWindowsDeviceName(std::string_view name) {
  const auto last = std::find_if(name.rbegin(), name.rend(), isSlash);
  std::string_view part = name.substr(static_cast<std::size_t>(name.rend() - last));
  part = part.substr(0, std::min(part.find('.'), part.find(':')));
  while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
  for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
    if (sameLetters(part, device)) return true;
  }
  if (part.size() < 4 || !(sameLetters(part.substr(0, 3), "COM") || sameLetters(part.substr(0, 3), "LPT"))) {
    return false;
  }
  const std::string_view digit = part.substr(3);
  return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xc2\xb9" ||
         digit == "\xc2\xb2" || digit == "\xc2\xb3";
}

OutputNames::OutputNames(std::string_view logFileName, NameRules rules) : rules_(rules) {
  const std::size_t root = rules == NameRules::windows ? windowsRootLength(logFileName) : 0;
  // findCharacter's 0 for both "no dot" and "dot first" puts the index in
  // front of what follows the root.
  const auto dot = root + static_cast<std::size_t>(findCharacter(logFileName.substr(root), '.'));
  stem_ = logFileName.substr(0, dot);
  extension_ = logFileName.substr(dot);
}

std::string OutputNames::nameOf(int index) const { return stem_ + std::to_string(index) + extension_; }

void refuseUnsafeOutputs(const OutputNames& names, int count,
                         const std::optional<platform::FileIdentity>& log) {
  std::map<platform::FileIdentity, int> existing;
  for (int i = 0; i < count; ++i) {
    const std::string name = names.nameOf(i);
    if (names.rules() == NameRules::windows && isWindowsDeviceName(name)) {
      throw Failure(unableToOpenMessage(name));
    }
    const std::optional<platform::FileIdentity> identity = platform::identityOf(name);
    if (!identity) continue;
    if (identity == log) throw Failure(outputIsInputMessage(name));
    const auto [at, added] = existing.try_emplace(*identity, i);
    if (!added) throw Failure(outputsAreOneFileMessage(names.nameOf(at->second), name));
  }
}
