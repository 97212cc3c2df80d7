// What the UI driver reads off a top-level window of another process: caption, class, text, controls,
// buttons, the default button, the focus, and the kind of icon a message box shows.
#pragma once

#include "platform/windows/WindowsSupport.h"

#include <string>
#include <vector>

namespace uidriver {

struct Control {
  HWND window;
  int id;
  std::wstring className;
  std::wstring text;
  DWORD style;
  bool visible;
  bool enabled;
  int position;  // a progress bar's position (PBM_GETPOS); -1 for every other control
};

struct WindowSnapshot {
  std::wstring caption;
  std::wstring className;
  std::wstring text;                  // the visible static texts (a box's message), one per line
  std::vector<std::wstring> buttons;  // visible buttons, in order
  std::wstring defaultButton;
  int focusId = 0;                    // control id of the focused control, 0 when none of ours
  std::wstring icon;                  // none, warning, error, information, question, or unknown
  std::vector<Control> controls;
  RECT frame = {};     // the window's place on the screen
  RECT workArea = {};  // the screen's, without the task bar
  bool topmost = false;
  bool owned = false;  // it has an owner window
};

// Visible top-level windows with exactly this caption.
std::vector<HWND> findWindows(const std::wstring& caption);

WindowSnapshot takeSnapshot(HWND window);

// The button's text without its mnemonic marker ("&Yes" -> "Yes", "はい(&Y)" -> "はい(Y)").
std::wstring withoutMnemonic(const std::wstring& text);

// Saves what the screen shows of the window as a 24-bit BMP file.
bool saveScreenshot(HWND window, const std::wstring& file);

// One JSON object on one line, UTF-8.
std::string toJson(const WindowSnapshot& snapshot, const std::wstring& action, bool closed);

}  // namespace uidriver
