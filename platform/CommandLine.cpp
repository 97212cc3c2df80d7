#include "platform/CommandLine.h"

namespace quillon {
namespace {

bool isSeparator(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

std::u16string quoteArgument(std::u16string_view argument) {
  if (argument.find_first_of(u" \t\"") == std::u16string_view::npos) return std::u16string(argument);
  std::u16string quoted = u"\"";
  for (const char16_t c : argument) {
    quoted += c;
    if (c == u'"') quoted += u'"';
  }
  quoted += u'"';
  return quoted;
}

std::vector<std::u16string> splitCommandLine(std::u16string_view commandLine) {
  std::vector<std::u16string> arguments;
  std::u16string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    const char16_t c = commandLine[i];
    if (c == u'"') {
      inArgument = true;
      if (quoted && i + 1 < commandLine.size() && commandLine[i + 1] == u'"') {
        current += u'"';  // "" inside quotes: one literal quote, still quoted
        ++i;
      } else {
        quoted = !quoted;
      }
      continue;
    }
    if (isSeparator(c) && !quoted) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
      continue;
    }
    current += c;
    inArgument = true;
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace quillon
