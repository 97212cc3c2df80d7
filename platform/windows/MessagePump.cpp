// Windows only: the waits that keep the tool's windows answering (platform/windows/MessagePump.h).
#include "platform/windows/MessagePump.h"

namespace quillon {
namespace {

HWND keyboardDialog = nullptr;

// An Enter that auto-repeats was pressed before the window came up (the confirmation box's Yes, held down a
// moment too long): it must not reach the progress window's Cancel button.
bool isHeldEnter(const MSG& message) {
  return message.message == WM_KEYDOWN && message.wParam == VK_RETURN && (message.lParam & (1L << 30)) != 0;
}

}  // namespace

void setKeyboardDialog(HWND dialog) { keyboardDialog = dialog; }

void dispatchPendingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (keyboardDialog != nullptr && IsWindow(keyboardDialog)) {
      if (isHeldEnter(message) && IsChild(keyboardDialog, message.hwnd)) continue;
      if (IsDialogMessageW(keyboardDialog, &message)) continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

DWORD waitDispatchingMessages(HANDLE object, DWORD timeout, bool (*stop)()) {
  const DWORD start = GetTickCount();
  const DWORD count = object != nullptr ? 1 : 0;
  for (;;) {
    dispatchPendingMessages();
    if (stop != nullptr && stop()) return kWaitStopped;
    DWORD wait = INFINITE;
    if (timeout != INFINITE) {
      const DWORD elapsed = GetTickCount() - start;
      if (elapsed >= timeout) {
        return count != 0 && WaitForSingleObject(object, 0) == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
      }
      wait = timeout - elapsed;
    }
    const DWORD result = MsgWaitForMultipleObjectsEx(count, count != 0 ? &object : nullptr, wait, QS_ALLINPUT,
                                                     MWMO_INPUTAVAILABLE);
    if (count != 0 && result == WAIT_OBJECT_0) return WAIT_OBJECT_0;
    if (result == WAIT_OBJECT_0 + count || result == WAIT_TIMEOUT) continue;  // messages, or the time is up
    return WAIT_FAILED;
  }
}

}  // namespace quillon
