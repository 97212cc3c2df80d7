// Windows body of platform/Process.h: CreateProcessW, a wait that dispatches the thread's window messages
// (platform/windows/MessagePump.h), GetExitCodeProcess.
#include "platform/Process.h"

#include "platform/windows/MessagePump.h"
#include "platform/windows/WindowsSupport.h"

#include <vector>

namespace quillon {

std::u16string systemProgramPath(const char16_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return fromWide(std::wstring_view(folder, length)) + u"\\" + name;
}

ProcessRun runToCompletion(const std::u16string& program, const std::u16string& commandLine) {
  ProcessRun run;
  if (program.empty()) {
    run.failedAt = ProcessRun::Step::Start;
    run.error = ERROR_FILE_NOT_FOUND;
    return run;
  }
  // CreateProcessW may write into the command line, so it gets a copy of its own, as long as it is.
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');

  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION information;
  ZeroMemory(&information, sizeof(information));
  if (!CreateProcessW(asWide(program.c_str()), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &information)) {
    run.failedAt = ProcessRun::Step::Start;
    run.error = static_cast<int>(GetLastError());
    return run;
  }
  const ManagedKernelHandle process(information.hProcess);
  const ManagedKernelHandle thread(information.hThread);

  // The progress window stays painted and answering while the installer runs.
  if (waitDispatchingMessages(process.get(), INFINITE) != WAIT_OBJECT_0) {
    run.failedAt = ProcessRun::Step::Wait;
    run.error = static_cast<int>(GetLastError());
    return run;
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) {
    run.failedAt = ProcessRun::Step::ExitCode;
    run.error = static_cast<int>(GetLastError());
    return run;
  }
  run.exitCode = exitCode;
  return run;
}

bool isExitCode(std::uint32_t exitCode, std::uint32_t code) { return exitCode == code; }

std::uint32_t currentProcessId() { return GetCurrentProcessId(); }

void killCurrentProcess() {
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);  // not reached: TerminateProcess on the process itself does not return
}

}  // namespace quillon
