// A Windows test program that shows one message box, for proving the UI driver on a real box:
//   quillon-boxdemo.exe FLAGS CAPTION TEXT
// FLAGS is the MB_* number (decimal or 0x hex). Prints the button the box returned and exits with it.
#include "platform/windows/WindowsSupport.h"

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: quillon-boxdemo FLAGS CAPTION TEXT\n");
    return 64;
  }
  const UINT flags = static_cast<UINT>(std::wcstoul(argv[1], nullptr, 0));
  std::wstring text = argv[3];
  for (std::size_t at = text.find(L"\\n"); at != std::wstring::npos; at = text.find(L"\\n", at + 1)) {
    text.replace(at, 2, L"\n");  // lets a test pass a line feed on the command line
  }
  const int result = MessageBoxW(nullptr, text.c_str(), argv[2], flags);
  std::printf("%d\n", result);
  return result;
}
