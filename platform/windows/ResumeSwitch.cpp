// Windows body of platform/ResumeSwitch.h: the process's command line, split as the system splits it.
#include "platform/ResumeSwitch.h"

#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"

#include <shellapi.h>

namespace quillon {

bool resumeSwitchGiven() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return false;
  bool given = false;
  for (int i = 1; i < count; ++i) {
    const auto* argument = reinterpret_cast<const char16_t*>(arguments[i]);
    given = given || equalsIgnoringAsciiCase(argument, u"/resume") || equalsIgnoringAsciiCase(argument, u"-resume");
  }
  LocalFree(arguments);
  return given;
}

}  // namespace quillon
