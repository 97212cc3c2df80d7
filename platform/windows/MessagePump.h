// Waiting on the one user-interface thread while a window of the tool's own is open. The tool has no message
// loop: its work runs in the application's start-up, so each of its waits dispatches the thread's window
// messages meanwhile (the progress window's keys through IsDialogMessage), and the window stays painted and
// answering. Without a window these waits are plain waits.
#pragma once

#include "platform/windows/WindowsSupport.h"

namespace quillon {

// What waitDispatchingMessages returns when `stop` ended it.
inline constexpr DWORD kWaitStopped = 0xFFFFFFFEu;

// The modeless dialog whose keyboard messages (Tab, Esc) go through IsDialogMessage; null when none is open.
void setKeyboardDialog(HWND dialog);

// Dispatches the messages waiting now.
void dispatchPendingMessages();

// Waits until `object` is signalled (with none: until `timeout` has passed), dispatching messages meanwhile,
// or until `stop`, asked after each batch of messages, says to stop. WAIT_OBJECT_0, WAIT_TIMEOUT,
// kWaitStopped, or WAIT_FAILED (GetLastError says why).
DWORD waitDispatchingMessages(HANDLE object, DWORD timeout, bool (*stop)() = nullptr);

}  // namespace quillon
