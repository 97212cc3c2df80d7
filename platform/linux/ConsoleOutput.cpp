// Linux body of platform/ConsoleOutput.h: standard output, UTF-8; whoever started the program reads it.
#include "platform/ConsoleOutput.h"

#include "platform/Text.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace quillon {

void useParentConsole() {}

ConsoleOutput::ConsoleOutput() : sink_(fcntl(STDOUT_FILENO, F_GETFD) == -1 ? Sink::None : Sink::Utf8) {}

void ConsoleOutput::writeLine(std::u16string_view line) {
  if (sink_ == Sink::None) return;  // started with its output closed
  const std::string bytes = toUtf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

}  // namespace quillon
