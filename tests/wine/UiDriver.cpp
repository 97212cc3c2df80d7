// The UI driver: finds a top-level window of the program under test by its caption, records what it
// shows, and answers it as a user would.
//
//   quillon-uidriver.exe --caption TEXT [--has-control ID] [--lacks-control ID]...
//                        [--press BUTTON | --key esc|enter|tab|alt+f4 | --close | --none]
//                        [--timeout SECONDS] [--transcript FILE] [--screenshot FILE.bmp] [--probe SECONDS]
//
// --probe sends the window a message every 50 ms for that long before acting, each with a time-out of 5 s,
// and records the longest time the window took to answer one ("longestAnswerMs"): a window whose thread
// is blocked answers late or not at all.
// --has-control and --lacks-control (which may be repeated) tell apart windows with the same caption: the
// terms dialog, the progress window and a box. A progress bar's position is recorded with its control.
//
// BUTTON is a standard name (ok, cancel, yes, no, ...), "#ID" for a control id, or the button's text.
// One JSON line per window goes to stdout and is appended to the transcript. After acting, the driver
// waits for the window to close and records whether it did. Exit code: 0 done, 2 no such window within
// the time-out, 3 no such button, 4 the screenshot could not be saved, 64 bad arguments.
#include "tests/wine/WindowSnapshot.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

using namespace uidriver;

namespace {

struct Options {
  std::wstring caption;
  std::wstring press;
  std::wstring key;
  bool close = false;
  int hasControl = 0;
  std::vector<int> lacksControls;
  double timeoutSeconds = 30;
  std::wstring transcript;
  std::wstring screenshot;
  double probeSeconds = 0;
};

int usage() {
  std::fwprintf(stderr, L"usage: quillon-uidriver --caption TEXT [--has-control ID] [--lacks-control ID] "
                        L"[--press BUTTON|--key KEY|--close|--none] [--timeout SECONDS] [--transcript FILE]\n");
  return 64;
}

int standardButtonId(const std::wstring& name) {
  const struct {
    const wchar_t* name;
    int id;
  } names[] = {{L"ok", IDOK},         {L"cancel", IDCANCEL}, {L"abort", IDABORT}, {L"retry", IDRETRY},
               {L"ignore", IDIGNORE}, {L"yes", IDYES},       {L"no", IDNO},       {L"close", IDCLOSE},
               {L"help", IDHELP},     {L"tryagain", IDTRYAGAIN}, {L"continue", IDCONTINUE}};
  for (const auto& entry : names) {
    if (name == entry.name) return entry.id;
  }
  if (name.size() > 1 && name[0] == L'#') return static_cast<int>(std::wcstol(name.c_str() + 1, nullptr, 10));
  return 0;
}

const Control* findButton(const WindowSnapshot& snapshot, const std::wstring& name) {
  const int id = standardButtonId(name);
  for (const Control& control : snapshot.controls) {
    if (!control.visible || lstrcmpiW(control.className.c_str(), L"Button") != 0) continue;
    if ((id != 0 && control.id == id) || withoutMnemonic(control.text) == name || control.text == name) return &control;
  }
  return nullptr;
}

// Keys go to the focused control, as typed keys do; the window's own modal loop turns them into commands.
bool sendKey(HWND window, const std::wstring& key) {
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof(thread);
  HWND target = window;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus) target = thread.hwndFocus;
  UINT down = WM_KEYDOWN, up = WM_KEYUP, vk = 0;
  LPARAM flags = 1;
  if (key == L"esc") {
    vk = VK_ESCAPE;
  } else if (key == L"enter") {
    vk = VK_RETURN;
  } else if (key == L"tab") {
    vk = VK_TAB;
  } else if (key == L"alt+f4") {
    vk = VK_F4, down = WM_SYSKEYDOWN, up = WM_SYSKEYUP, flags |= 1 << 29;
  } else {
    return false;
  }
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, down, vk, flags | scan);
  PostMessageW(target, up, vk, flags | scan | (1u << 30) | (1u << 31));
  return true;
}

// The longest answer to WM_NULL over `seconds`, in milliseconds (the time-out's own when one went unanswered).
DWORD longestAnswer(HWND window, double seconds) {
  constexpr UINT kAnswerTimeout = 5000;
  DWORD longest = 0;
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (static_cast<LONG>(GetTickCount() - end) < 0 && IsWindow(window)) {
    const DWORD sent = GetTickCount();
    DWORD_PTR result = 0;
    const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerTimeout, &result) != 0;
    longest = std::max<DWORD>(longest, answered ? GetTickCount() - sent : kAnswerTimeout);
    Sleep(50);
  }
  return longest;
}

bool waitUntilClosed(HWND window, DWORD milliseconds) {
  for (DWORD waited = 0; waited < milliseconds; waited += 50) {
    if (!IsWindow(window)) return true;
    Sleep(50);
  }
  return !IsWindow(window);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  std::wstring action = L"none";
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--caption" && hasValue) {
      options.caption = argv[++i];
    } else if (arg == L"--has-control" && hasValue) {
      options.hasControl = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
    } else if (arg == L"--lacks-control" && hasValue) {
      options.lacksControls.push_back(static_cast<int>(std::wcstol(argv[++i], nullptr, 10)));
    } else if (arg == L"--press" && hasValue) {
      options.press = argv[++i];
    } else if (arg == L"--key" && hasValue) {
      options.key = argv[++i];
    } else if (arg == L"--close") {
      options.close = true;
    } else if (arg == L"--none") {
    } else if (arg == L"--timeout" && hasValue) {
      options.timeoutSeconds = std::wcstod(argv[++i], nullptr);
    } else if (arg == L"--probe" && hasValue) {
      options.probeSeconds = std::wcstod(argv[++i], nullptr);
    } else if (arg == L"--screenshot" && hasValue) {
      options.screenshot = argv[++i];
    } else if (arg == L"--transcript" && hasValue) {
      options.transcript = argv[++i];
    } else {
      return usage();
    }
  }
  if (options.caption.empty()) return usage();
  // Coordinates and pixels as the screen has them at any scaling, as the tool (DPI-aware) has them too.
  SetProcessDPIAware();

  int status = 0;
  HWND window = nullptr;
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(options.timeoutSeconds * 1000);
  for (;;) {
    for (HWND candidate : findWindows(options.caption)) {
      if (options.hasControl != 0 && GetDlgItem(candidate, options.hasControl) == nullptr) continue;
      if (std::any_of(options.lacksControls.begin(), options.lacksControls.end(),
                      [&](int id) { return GetDlgItem(candidate, id) != nullptr; })) {
        continue;
      }
      window = candidate;
      break;
    }
    if (window != nullptr) break;
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
      std::fwprintf(stderr, L"quillon-uidriver: no window captioned \"%ls\"\n", options.caption.c_str());
      return 2;
    }
    Sleep(50);
  }
  if (!options.screenshot.empty()) {
    SetForegroundWindow(window);  // a picture of the window as the user has it: active
  }
  Sleep(300);  // let the window finish painting before its pixels are read
  const DWORD longest = options.probeSeconds > 0 ? longestAnswer(window, options.probeSeconds) : 0;
  const WindowSnapshot snapshot = takeSnapshot(window);
  if (!options.screenshot.empty() && !saveScreenshot(window, options.screenshot)) status = 4;

  if (!options.press.empty()) {
    action = L"press:" + options.press;
    if (const Control* button = findButton(snapshot, options.press)) {
      PostMessageW(button->window, BM_CLICK, 0, 0);
    } else {
      status = 3;
    }
  } else if (!options.key.empty()) {
    action = L"key:" + options.key;
    if (!sendKey(window, options.key)) return usage();
  } else if (options.close) {
    action = L"close";
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  const bool closed = action != L"none" && status == 0 && waitUntilClosed(window, 3000);

  std::string line = toJson(snapshot, action, closed);
  if (options.probeSeconds > 0 && !line.empty() && line.back() == '}') {
    line.insert(line.size() - 1, ",\"longestAnswerMs\":" + std::to_string(longest));
  }
  line += "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  if (!options.transcript.empty()) {
    if (FILE* file = _wfopen(options.transcript.c_str(), L"ab")) {
      std::fwrite(line.data(), 1, line.size(), file);
      std::fclose(file);
    }
  }
  return status;
}
