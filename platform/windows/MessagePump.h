// Waiting on the one user-interface thread while a window of the tool's own is open. The tool has no message
// loop: its work runs in the application's start-up, so each of its waits dispatches the thread's window
// messages meanwhile (the progress window's keys through IsDialogMessage), and the window stays painted and
// answering. Without a window these waits are plain waits.
#pragma once

#include "platform/windows/WindowsSupport.h"

#include <memory>

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

// What runDispatchingMessages returns when no thread could be started for the work (GetLastError says why).
inline constexpr DWORD kWorkNotStarted = 0xFFFFFFFDu;

template <typename State, void (*Work)(State&)>
DWORD WINAPI runWork(void* parameter) {
  const std::unique_ptr<std::shared_ptr<State>> state(static_cast<std::shared_ptr<State>*>(parameter));
  Work(**state);
  return 0;
}

// Starts Work(*state) on a thread of its own, which keeps its own reference to the state: the caller may
// give the work up at any moment, and the work then ends on its own, or with the process. The work must touch
// nothing but the state (no window, no log, no file of the caller's). The thread's handle for the caller to
// close, or null when no thread could be started (GetLastError says why).
template <typename State, void (*Work)(State&)>
HANDLE startWork(const std::shared_ptr<State>& state) {
  auto handoff = std::make_unique<std::shared_ptr<State>>(state);
  const HANDLE thread = CreateThread(nullptr, 0, runWork<State, Work>, handoff.get(), 0, nullptr);
  if (thread != nullptr) handoff.release();  // the thread's own now
  return thread;
}

// Runs Work(*state) as startWork does, for a call that blocks without a time limit that holds, and waits
// for it as waitDispatchingMessages does: WAIT_OBJECT_0 when the work ended (its result is then in `state`),
// WAIT_TIMEOUT, kWaitStopped, WAIT_FAILED or kWorkNotStarted.
template <typename State, void (*Work)(State&)>
DWORD runDispatchingMessages(const std::shared_ptr<State>& state, DWORD timeout, bool (*stop)()) {
  const ManagedKernelHandle thread(startWork<State, Work>(state));
  if (thread.get() == nullptr) return kWorkNotStarted;
  return waitDispatchingMessages(thread.get(), timeout, stop);
}

}  // namespace quillon
