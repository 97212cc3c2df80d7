// Starts a program with extra environment variables and waits for it, returning its exit code:
//   quillon-run.exe [--pid-file FILE] [--desktop STATION\DESKTOP] [--new-console] [NAME=VALUE ...] --
//                   PROGRAM [ARGS...]
// --pid-file receives the program's process id, so a test can end that one copy and no other.
// --desktop starts the program on a desktop of a window station made here that is not visible, as a
// service's is (a software distribution starts programs as SYSTEM in the services' session).
// --new-console gives a console program a console of its own, as a double-click in Explorer does.
// Wine sets TMP and TEMP from the prefix's registry, whatever the Unix environment says, so the tests
// give the tool its own temporary folder this way.
#include "platform/windows/WindowsSupport.h"

#include <cstdio>
#include <string>

namespace {

// A window station of its own, made as a service's is: without WSF_VISIBLE, so no user sees what is shown on
// its desktop. Held until the program has ended.
class HiddenDesktop {
 public:
  HiddenDesktop() = default;
  HiddenDesktop(const HiddenDesktop&) = delete;
  HiddenDesktop& operator=(const HiddenDesktop&) = delete;
  ~HiddenDesktop() {
    if (desktop_ != nullptr) CloseDesktop(desktop_);
    if (station_ != nullptr) CloseWindowStation(station_);
  }

  // "station\desktop".
  bool create(const std::wstring& name) {
    const std::size_t slash = name.find(L'\\');
    if (slash == std::wstring::npos) return false;
    station_ = CreateWindowStationW(name.substr(0, slash).c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
    if (station_ == nullptr) return false;
    // A desktop is made in the calling process's window station: this one's, for the moment it takes.
    const HWINSTA own = GetProcessWindowStation();
    if (!SetProcessWindowStation(station_)) return false;
    desktop_ = CreateDesktopW(name.substr(slash + 1).c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    return desktop_ != nullptr;
  }

 private:
  HWINSTA station_ = nullptr;
  HDESK desktop_ = nullptr;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int i = 1;
  const wchar_t* pidFile = nullptr;
  std::wstring desktop;
  DWORD flags = 0;
  while (i < argc) {
    const std::wstring option = argv[i];
    if (option == L"--pid-file" && i + 1 < argc) {
      pidFile = argv[i + 1];
      i += 2;
    } else if (option == L"--desktop" && i + 1 < argc) {
      desktop = argv[i + 1];
      i += 2;
    } else if (option == L"--new-console") {
      flags = CREATE_NEW_CONSOLE;
      ++i;
    } else {
      break;
    }
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
  HiddenDesktop hidden;
  if (!desktop.empty()) {
    if (!hidden.create(desktop)) {
      std::fwprintf(stderr, L"quillon-run: cannot create %ls (error %lu)\n", desktop.c_str(), GetLastError());
      return 70;
    }
    startup.lpDesktop = desktop.data();
  }
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
