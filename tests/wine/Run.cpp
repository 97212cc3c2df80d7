// Starts a program with extra environment variables and waits for it, returning its exit code:
//   quillon-run.exe [--pid-file FILE] [--new-console] [NAME=VALUE ...] -- PROGRAM [ARGS...]
// --pid-file receives the program's process id, so a test can end that one copy and no other.
// --new-console gives a console program a console of its own, as a double-click in Explorer does.
// Wine sets TMP and TEMP from the prefix's registry, whatever the Unix environment says, so the tests
// give the tool its own temporary folder this way.
#include "platform/windows/WindowsSupport.h"

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  int i = 1;
  const wchar_t* pidFile = nullptr;
  if (argc > 2 && std::wstring(argv[1]) == L"--pid-file") {
    pidFile = argv[2];
    i = 3;
  }
  DWORD flags = 0;
  if (i < argc && std::wstring(argv[i]) == L"--new-console") {
    flags = CREATE_NEW_CONSOLE;
    ++i;
  }
  for (; i < argc && std::wstring(argv[i]) != L"--"; ++i) {
    const std::wstring setting = argv[i];
    const std::size_t equals = setting.find(L'=');
    if (equals == std::wstring::npos || equals == 0) {
      std::fwprintf(stderr, L"quillon-run: not NAME=VALUE: %ls\n", argv[i]);
      return 64;
    }
    SetEnvironmentVariableW(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str());
  }
  if (i + 1 >= argc) {
    std::fwprintf(stderr, L"usage: quillon-run [NAME=VALUE ...] -- PROGRAM [ARGS...]\n");
    return 64;
  }
  std::wstring commandLine;
  for (int k = i + 1; k < argc; ++k) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += L'"' + std::wstring(argv[k]) + L'"';
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                      &process)) {
    std::fwprintf(stderr, L"quillon-run: cannot start %ls (error %lu)\n", argv[i + 1], GetLastError());
    return 127;
  }
  if (pidFile != nullptr) {
    if (FILE* file = _wfopen(pidFile, L"w")) {
      std::fprintf(file, "%lu\n", process.dwProcessId);
      std::fclose(file);
    }
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
