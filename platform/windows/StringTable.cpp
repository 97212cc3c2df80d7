// Windows body of platform/StringTable.h: the string table compiled into the executable.
#include "platform/StringTable.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

int loadString(unsigned id, char16_t* buffer, int capacity) {
  if (capacity <= 0) return 0;
  buffer[0] = 0;
  return LoadStringW(GetModuleHandleW(nullptr), id, asWide(buffer), capacity);
}

}  // namespace quillon
