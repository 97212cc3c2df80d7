// The platform-neutral part of platform/MessageBox.h: what every box does before and after it is shown, and
// whether the run may show one at all.
#include "platform/MessageBox.h"

#include "platform/Progress.h"
#include "platform/UiMode.h"
#include "platform/UiTranscript.h"

namespace quillon {

int showMessageBox(const char16_t* text, const char16_t* caption, unsigned flags) {
  closeProgress();  // a box is never covered by the progress, nor shown beside it
  // A run that may show no box (/quiet, /passive) goes on as if it had been closed at once: nobody saw it, so
  // nothing is recorded. A question nobody was asked is not a yes.
  if (uiMode() != UiMode::Full) return (flags & 0x0F) == kBoxYesNo ? kIdNo : kIdOk;
  const int button = showBoxOnScreen(text, caption, flags);
  recordUi("box", caption, text, flags, button);
  return button;
}

}  // namespace quillon
