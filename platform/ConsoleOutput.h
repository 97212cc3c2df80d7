// What a console program writes for its user, line by line, and whether anyone will still see it once the
// program has ended.
#pragma once

#include <string_view>

namespace quillon {

class ConsoleOutput {
 public:
  ConsoleOutput();
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

  // Writes one line and its line end. Windows: to the console as text (WriteConsoleW); redirected to a file
  // or a pipe, as UTF-8, with a byte-order mark first where a file starts with it (so that Notepad and
  // PowerShell read it as UTF-8 on a Japanese PC, whose ANSI code page is 932), none where the output is
  // appended to a file or read through a pipe. Linux: UTF-8 to standard output.
  void writeLine(std::u16string_view line);

  // True when the lines will be gone when the program ends, so that it should show its result in a box:
  // Windows: no console and no redirected output (started detached), or a visible console that is this
  // program's alone (a double-click opens one that closes with the program). Never on Linux.
  bool vanishesAtExit() const { return vanishes_; }

 private:
  // Where the lines go: nowhere, to a console as text, or as UTF-8 bytes, the first line after a byte-order
  // mark.
  enum class Sink { None, Console, Utf8, MarkedUtf8 };
  Sink sink_ = Sink::None;
  bool vanishes_ = false;
};

// For a program that Windows starts without a console (the tool, a windows-subsystem program): where its
// output is not redirected and the program that started it has a console (a command prompt, PowerShell, a
// batch file), ConsoleOutput writes to that console from now on. Windows: AttachConsole(ATTACH_PARENT_PROCESS)
// and the console's output buffer (CONOUT$) as the standard output. Linux: nothing (the output is always
// whoever started the program).
void useParentConsole();

}  // namespace quillon
