// Another installation in progress, as the tool sees one: holds a named mutex (the Windows Installer's
// Global\_MSIExecute) from its start until SECONDS after the file UNTIL exists, then lets it go.
//   quillon-hold-mutex.exe NAME UNTIL SECONDS
#include "platform/windows/WindowsSupport.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: quillon-hold-mutex NAME UNTIL SECONDS\n");
    return 64;
  }
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[1]);
  if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10) * 1000));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return 0;
}
