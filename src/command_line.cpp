#include "command_line.h"

#include <climits>
#include <optional>
#include <string_view>

#include "failure.h"
#include "messages.h"

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The decimal integer at the start of `text` after optional white space and
// an optional sign, as a long long saturated beyond the int range; 0 when the
// text does not begin with one. Whatever follows the digits is ignored.
long long leadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  constexpr long long kBeyondInt = static_cast<long long>(INT_MAX) + 1;
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= kBeyondInt) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

// `text` without the white space at its start and its end, or nothing when
// it holds none but white space. White space inside is kept: a name may
// hold it ("C:\Users\Jane Doe\run.log").
std::optional<std::string> trimmed(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size() && isSpace(text[begin])) ++begin;
  if (begin == text.size()) return std::nullopt;
  std::size_t end = text.size();
  while (isSpace(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace

Options parseCommandLine(std::span<const char* const> arguments) {
  bool usageError = arguments.size() < 2;
  std::optional<long long> length;
  std::optional<std::string> logFileName;
  bool useFirst = false;
  if (!usageError) {
    // Backwards, so that the leftmost of a repeated option is the one kept.
    for (std::size_t k = arguments.size(); k-- > 0;) {
      const std::string_view argument(arguments[k]);
      if (argument.empty() || argument[0] != '-' || argument.size() < 2) {
        usageError = true;
        continue;
      }
      const std::string_view value = argument.substr(2);
      switch (argument[1]) {
        case 'f':
          useFirst = true;
          break;
        case 'd':
          length = leadingInteger(value);
          break;
        case 'l':
          if (auto name = trimmed(value)) logFileName = std::move(*name);
          break;
        default:
          usageError = true;
      }
    }
  }
  if (usageError || !length || !logFileName) throw Failure(kUsageMessage);
  if (*length <= 0 || *length > INT_MAX) throw Failure(kInvalidLengthMessage);
  return Options{static_cast<int>(*length), std::move(*logFileName), useFirst};
}
