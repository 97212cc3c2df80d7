// Windows body of platform/MessageBox.h: the system's own message box.
#include "platform/MessageBox.h"

#include "platform/Progress.h"
#include "platform/UiTranscript.h"
#include "platform/windows/WindowsSupport.h"

namespace quillon {

int showMessageBox(const char16_t* text, const char16_t* caption, unsigned flags) {
  closeProgress();  // a box is never covered by the progress, nor shown beside it
  const int button = MessageBoxW(nullptr, asWide(text), asWide(caption), flags);
  recordUi("box", caption, text, flags, button);
  return button;
}

}  // namespace quillon
