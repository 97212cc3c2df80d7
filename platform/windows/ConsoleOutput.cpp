// Windows body of platform/ConsoleOutput.h.
#include "platform/ConsoleOutput.h"

#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"

#include <string>

namespace quillon {

namespace {

HANDLE standardOutput() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  return output == INVALID_HANDLE_VALUE ? nullptr : output;
}

// A console that only this process is attached to, with a window on the screen: Windows opened it for the
// program (a double-click in Explorer) and closes it with the program. A console without a window (a
// program started hidden by a software distribution) is no one's to read, and no box may wait there.
bool ownVisibleConsole() {
  DWORD processes[2];
  const HWND window = GetConsoleWindow();
  return GetConsoleProcessList(processes, 2) == 1 && window != nullptr && IsWindowVisible(window);
}

}  // namespace

void useParentConsole() {
  const HANDLE output = standardOutput();
  // Redirected to a file or a pipe by whoever started the program: that is where it reads.
  if (output != nullptr && GetFileType(output) != FILE_TYPE_UNKNOWN) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  // The handle lives as long as the process: it is the standard output from here on.
  const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  if (console != INVALID_HANDLE_VALUE) SetStdHandle(STD_OUTPUT_HANDLE, console);
}

ConsoleOutput::ConsoleOutput() {
  const HANDLE output = standardOutput();
  DWORD mode = 0;
  if (output != nullptr && GetConsoleMode(output, &mode)) {
    sink_ = Sink::Console;
    vanishes_ = ownVisibleConsole();
    return;
  }
  if (output == nullptr || (GetFileType(output) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR)) {
    vanishes_ = true;
    return;
  }
  // cmd's ">" starts a file at its first byte, ">>" at its end.
  LARGE_INTEGER zero = {}, position = {};
  const bool fileStart = GetFileType(output) == FILE_TYPE_DISK &&
                         SetFilePointerEx(output, zero, &position, FILE_CURRENT) && position.QuadPart == 0;
  sink_ = fileStart ? Sink::MarkedUtf8 : Sink::Utf8;
}

void ConsoleOutput::writeLine(std::u16string_view line) {
  const HANDLE output = standardOutput();
  DWORD written = 0;
  if (sink_ == Sink::Console) {
    const std::wstring text = toWide(line) + L"\r\n";
    WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else if (sink_ != Sink::None) {
    const std::string bytes = (sink_ == Sink::MarkedUtf8 ? "\xEF\xBB\xBF" : "") + toUtf8(line) + "\r\n";
    sink_ = Sink::Utf8;
    WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

}  // namespace quillon
