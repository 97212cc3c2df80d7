// Linux body of platform/MessageBox.h: the box as a question on the terminal.
#include "platform/MessageBox.h"

#include "platform/linux/TerminalPrompt.h"

namespace quillon {

int showBoxOnScreen(const char16_t* text, const char16_t* caption, unsigned flags) {
  std::u16string shown = text;
  if ((flags & 0xF0) == kBoxIconWarning) shown = u"[!] " + shown;
  if ((flags & 0x0F) == kBoxYesNo) {
    // As on Windows: Yes is the default button, and the close button of a Yes/No box answers No.
    return promptOnTerminal(caption, shown, {{"y", "はい(Y)", kIdYes}, {"n", "いいえ(N)", kIdNo}}, kIdYes, kIdNo);
  }
  return promptOnTerminal(caption, shown, {{"o", "OK", kIdOk}}, kIdOk, kIdOk);
}

}  // namespace quillon
