// Windows body of platform/MessageBox.h: the system's own message box.
#include "platform/MessageBox.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

int showBoxOnScreen(const char16_t* text, const char16_t* caption, unsigned flags) {
  return MessageBoxW(nullptr, asWide(text), asWide(caption), flags);
}

}  // namespace quillon
