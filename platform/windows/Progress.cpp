// Windows body of the progress display (platform/ProgressDisplay.h): a modeless dialog from template
// IDD_PROGRESS on the one user-interface thread, answered by the waits of platform/windows/MessagePump.h.
// It never covers the Windows Installer's window (centred on the screen) or a box: it sits in the lower
// right of the work area, is not topmost, never takes the foreground once it is up, and is gone before any
// box of the flow appears.
#include "platform/ProgressDisplay.h"

#include "platform/windows/MessagePump.h"
#include "platform/windows/WindowsSupport.h"
#include "res/resource.h"

#include <commctrl.h>

namespace quillon {
namespace {

struct Display {
  HWND window = nullptr;
  bool cancellable = true;
  bool cancelPressed = false;
  std::u16string step, detail;
  bool marquee = false;
  int percent = -1;
};

Display display;

INT_PTR CALLBACK procedure(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;  // the focus goes to the Cancel button
    case WM_COMMAND:
      // Esc comes as IDCANCEL whether the button is enabled or not; the shared rule drops it from the uninstall
      // on.
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      display.cancelPressed = true;
      return TRUE;
    case WM_CLOSE:  // the close button and Alt+F4 are the Cancel button
      display.cancelPressed = true;
      return TRUE;
    default:
      return FALSE;
  }
}

void setText(int id, std::u16string& shown, const std::u16string& text) {
  if (shown == text) return;  // an unchanged text is not drawn again (no flicker, no cost)
  shown = text;
  SetDlgItemTextW(display.window, id, asWide(text.c_str()));
}

void showBar(const std::optional<int>& percent) {
  const HWND bar = GetDlgItem(display.window, IDC_PROGRESS_BAR);
  const bool marquee = !percent;
  if (marquee != display.marquee) {
    display.marquee = marquee;
    const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
    SetWindowLongPtrW(bar, GWL_STYLE, marquee ? style | PBS_MARQUEE : style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    SendMessageW(bar, PBM_SETMARQUEE, marquee, 30);
    display.percent = -1;
  }
  if (percent && *percent != display.percent) {
    display.percent = *percent;
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(*percent), 0);
  }
}

// In the lower right of the work area, a dialog margin away from its edges: clear of the Windows Installer's
// window, which opens in the middle of the screen, and of the boxes, which do too.
void placeInLowerRight(HWND window) {
  RECT area, frame, margin = {0, 0, 7, 7};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  GetWindowRect(window, &frame);
  MapDialogRect(window, &margin);
  SetWindowPos(window, nullptr, area.right - (frame.right - frame.left) - margin.right,
               area.bottom - (frame.bottom - frame.top) - margin.bottom, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool openProgressDisplay(const std::u16string& caption, const std::u16string& cancelLabel) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  display = Display();
  display.window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, procedure, 0);
  if (display.window == nullptr) return false;
  SetWindowTextW(display.window, asWide(caption.c_str()));
  SetDlgItemTextW(display.window, IDCANCEL, asWide(cancelLabel.c_str()));
  // The taskbar shows the tool's icon for it, so the user finds the run again behind other windows.
  if (const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MIGRATION_TOOL))) {
    SendMessageW(display.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  }
  placeInLowerRight(display.window);
  setKeyboardDialog(display.window);
  // Shown active, once: the user has just answered the tool's previous window, and Esc must reach this one.
  // Nothing later activates it, so it never takes the foreground from the installer.
  ShowWindow(display.window, SW_SHOW);
  UpdateWindow(display.window);
  return true;
}

void showOnProgressDisplay(const ProgressView& view) {
  if (display.window == nullptr) return;
  setText(IDC_PROGRESS_STEP, display.step, view.step);
  setText(IDC_PROGRESS_DETAIL, display.detail, view.detail);
  showBar(view.percent);
  if (view.cancellable != display.cancellable) {
    display.cancellable = view.cancellable;
    EnableWindow(GetDlgItem(display.window, IDCANCEL), view.cancellable);
    EnableMenuItem(GetSystemMenu(display.window, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (view.cancellable ? MF_ENABLED : MF_GRAYED));
  }
}

void serveProgressDisplay(std::chrono::milliseconds pause) {
  if (display.window == nullptr) return;
  waitDispatchingMessages(nullptr, static_cast<DWORD>(pause.count()), [] { return display.cancelPressed; });
}

bool takeCancelPress() {
  const bool pressed = display.cancelPressed;
  display.cancelPressed = false;
  return pressed;
}

void closeProgressDisplay() {
  if (display.window == nullptr) return;
  setKeyboardDialog(nullptr);
  DestroyWindow(display.window);
  display.window = nullptr;
}

}  // namespace quillon
