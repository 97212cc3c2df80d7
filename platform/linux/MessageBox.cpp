// Linux body of platform/MessageBox.h: the box as a question on the terminal.
#include "platform/MessageBox.h"

#include "platform/Progress.h"
#include "platform/UiTranscript.h"
#include "platform/linux/TerminalPrompt.h"

namespace quillon {

int showMessageBox(const char16_t* text, const char16_t* caption, unsigned flags) {
  closeProgress();  // a box is never covered by the progress, nor shown beside it
  std::u16string shown = text;
  if ((flags & 0xF0) == kBoxIconWarning) shown = u"[!] " + shown;
  int button;
  if ((flags & 0x0F) == kBoxYesNo) {
    // As on Windows: Yes is the default button, and the close button of a Yes/No box answers No.
    button = promptOnTerminal(caption, shown, {{"y", "はい(Y)", kIdYes}, {"n", "いいえ(N)", kIdNo}}, kIdYes, kIdNo);
  } else {
    button = promptOnTerminal(caption, shown, {{"o", "OK", kIdOk}}, kIdOk, kIdOk);
  }
  recordUi("box", caption, text, flags, button);
  return button;
}

}  // namespace quillon
