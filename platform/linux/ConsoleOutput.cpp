// Linux body of platform/ConsoleOutput.h: standard output, UTF-8; whoever started the program reads it.
#include "platform/ConsoleOutput.h"

#include "platform/Text.h"

#include <cstdio>
#include <string>

namespace quillon {

ConsoleOutput::ConsoleOutput() : kind_(Kind::Redirected) {}

void ConsoleOutput::writeLine(std::u16string_view line) {
  const std::string bytes = toUtf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace quillon
