#include "tests/wine/WindowSnapshot.h"

#include "platform/Text.h"
#include "platform/UiTranscript.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace uidriver {
namespace {

std::wstring classOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Another process's control answers WM_GETTEXT itself; the time-out keeps a hung window from hanging us.
std::wstring textOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           2000, &copied)) {
    return {};
  }
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

bool isClass(const Control& control, const wchar_t* name) { return lstrcmpiW(control.className.c_str(), name) == 0; }
bool isPushButton(const Control& c) {
  const DWORD type = c.style & BS_TYPEMASK;
  return isClass(c, L"Button") && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
}
bool isImageStatic(const Control& c) {
  const DWORD type = c.style & SS_TYPEMASK;
  return isClass(c, L"Static") && (type == SS_ICON || type == SS_BITMAP);
}

// A 32-bit top-down bitmap selected into a memory device context, released at the end of the scope.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height), screen_(GetDC(nullptr)), memory_(CreateCompatibleDC(screen_)) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(memory_, bitmap_);
  }
  ~Canvas() {
    SelectObject(memory_, old_);
    DeleteObject(bitmap_);
    DeleteDC(memory_);
    ReleaseDC(nullptr, screen_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC screen() const { return screen_; }
  HDC dc() const { return memory_; }
  std::uint32_t* bits() const { return bits_; }
  std::vector<std::uint32_t> pixels() const {
    GdiFlush();
    return std::vector<std::uint32_t>(bits_, bits_ + static_cast<std::size_t>(width_) * height_);
  }

 private:
  int width_, height_;
  HDC screen_, memory_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t* bits_ = nullptr;
};

// The screen pixels of a rectangle, as 32-bit BGRX values.
std::vector<std::uint32_t> capture(const RECT& rect) {
  const Canvas canvas(rect.right - rect.left, rect.bottom - rect.top);
  BitBlt(canvas.dc(), 0, 0, rect.right - rect.left, rect.bottom - rect.top, canvas.screen(), rect.left, rect.top,
         SRCCOPY);
  return canvas.pixels();
}

// The same icon drawn here, on the background colour of the captured area.
std::vector<std::uint32_t> render(HICON icon, int width, int height, std::uint32_t background) {
  const Canvas canvas(width, height);
  std::fill_n(canvas.bits(), static_cast<std::size_t>(width) * height, background);
  DrawIconEx(canvas.dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  return canvas.pixels();
}

// Icon handles are private to the process that loaded them, so the kind of icon is told by its pixels:
// the captured icon area is compared with each standard icon drawn here the same way.
std::wstring classifyIcon(const std::vector<Control>& controls) {
  const auto icon = std::find_if(controls.begin(), controls.end(), [](const Control& c) {
    return c.visible && isClass(c, L"Static") && (c.style & SS_TYPEMASK) == SS_ICON;
  });
  // A box without an icon keeps its icon control, with no icon set.
  if (icon == controls.end() || SendMessageW(icon->window, STM_GETICON, 0, 0) == 0) return L"none";
  RECT rect;
  GetWindowRect(icon->window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return L"none";
  const std::vector<std::uint32_t> shown = capture(rect);
  const std::uint32_t background = shown.front() & 0xFFFFFF;
  if (std::all_of(shown.begin(), shown.end(), [&](std::uint32_t p) { return (p & 0xFFFFFF) == background; })) {
    return L"none";
  }
  const struct {
    LPCWSTR id;
    const wchar_t* name;
  } kinds[] = {{IDI_WARNING, L"warning"}, {IDI_ERROR, L"error"}, {IDI_INFORMATION, L"information"},
               {IDI_QUESTION, L"question"}};
  std::wstring best = L"unknown";
  std::size_t bestDifferent = shown.size() / 20 + 1;  // at most 5% of the pixels may differ
  for (const auto& kind : kinds) {
    const std::vector<std::uint32_t> drawn = render(LoadIconW(nullptr, kind.id), width, height, background);
    std::size_t different = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
      const std::uint32_t a = shown[i], b = drawn[i];
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 24 || d < -24) {
          ++different;
          break;
        }
      }
    }
    if (different < bestDifferent) {
      bestDifferent = different;
      best = kind.name;
    }
  }
  return best;
}

BOOL CALLBACK collectTopLevel(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<std::pair<const std::wstring*, std::vector<HWND>*>*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  if (*found->first == caption) found->second->push_back(window);
  return TRUE;
}

// A progress bar's position, asked of the other process's control.
int progressPosition(HWND window, const std::wstring& className) {
  DWORD_PTR position = 0;
  if (lstrcmpiW(className.c_str(), PROGRESS_CLASSW) != 0 ||
      !SendMessageTimeoutW(window, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &position)) {
    return -1;
  }
  return static_cast<int>(position);
}

BOOL CALLBACK collectChild(HWND window, LPARAM context) {
  auto* controls = reinterpret_cast<std::vector<Control>*>(context);
  const std::wstring className = classOf(window);
  controls->push_back(Control{window, GetDlgCtrlID(window), className, textOf(window),
                              static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), IsWindowVisible(window) != FALSE,
                              IsWindowEnabled(window) != FALSE, progressPosition(window, className)});
  return TRUE;
}

void appendJsonString(std::string& out, const std::wstring& text) {
  out += quillon::jsonString(std::u16string(text.begin(), text.end()));
}

}  // namespace

std::vector<HWND> findWindows(const std::wstring& caption) {
  std::vector<HWND> windows;
  std::pair<const std::wstring*, std::vector<HWND>*> context{&caption, &windows};
  EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&context));
  return windows;
}

std::wstring withoutMnemonic(const std::wstring& text) {
  std::wstring plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

WindowSnapshot takeSnapshot(HWND window) {
  WindowSnapshot snapshot;
  wchar_t caption[512] = {};
  GetWindowTextW(window, caption, 512);
  snapshot.caption = caption;
  snapshot.className = classOf(window);
  EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&snapshot.controls));

  GUITHREADINFO thread = {};
  thread.cbSize = sizeof(thread);
  if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus != nullptr &&
      IsChild(window, thread.hwndFocus)) {
    snapshot.focusId = GetDlgCtrlID(thread.hwndFocus);
  }
  for (const Control& control : snapshot.controls) {
    if (!control.visible) continue;
    if (isPushButton(control)) {
      snapshot.buttons.push_back(withoutMnemonic(control.text));
      if ((control.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) snapshot.defaultButton = withoutMnemonic(control.text);
    } else if (isClass(control, L"Static") && !isImageStatic(control) && !control.text.empty()) {
      if (!snapshot.text.empty()) snapshot.text += L"\n";
      snapshot.text += control.text;
    }
  }
  snapshot.icon = classifyIcon(snapshot.controls);
  GetWindowRect(window, &snapshot.frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &snapshot.workArea, 0);
  snapshot.topmost = (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  snapshot.owned = GetWindow(window, GW_OWNER) != nullptr;
  return snapshot;
}

bool saveScreenshot(HWND window, const std::wstring& file) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const std::vector<std::uint32_t> pixels = capture(rect);
  const int stride = (width * 3 + 3) & ~3;
  std::string data;
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
      data += static_cast<char>(p & 0xFF);
      data += static_cast<char>((p >> 8) & 0xFF);
      data += static_cast<char>((p >> 16) & 0xFF);
    }
    data.append(static_cast<std::size_t>(stride - width * 3), '\0');
  }
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biSizeImage = static_cast<DWORD>(data.size());
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof(header) + sizeof(info);
  header.bfSize = header.bfOffBits + static_cast<DWORD>(data.size());
  FILE* out = _wfopen(file.c_str(), L"wb");
  if (out == nullptr) return false;
  fwrite(&header, sizeof(header), 1, out);
  fwrite(&info, sizeof(info), 1, out);
  fwrite(data.data(), 1, data.size(), out);
  return fclose(out) == 0;
}

std::string toJson(const WindowSnapshot& s, const std::wstring& action, bool closed) {
  std::string out = "{\"caption\":";
  appendJsonString(out, s.caption);
  out += ",\"class\":";
  appendJsonString(out, s.className);
  out += ",\"text\":";
  appendJsonString(out, s.text);
  out += ",\"buttons\":[";
  for (std::size_t i = 0; i < s.buttons.size(); ++i) {
    if (i) out += ',';
    appendJsonString(out, s.buttons[i]);
  }
  out += "],\"default\":";
  appendJsonString(out, s.defaultButton);
  out += ",\"focus\":" + std::to_string(s.focusId) + ",\"icon\":";
  appendJsonString(out, s.icon);
  out += ",\"controls\":[";
  for (std::size_t i = 0; i < s.controls.size(); ++i) {
    const Control& c = s.controls[i];
    if (i) out += ',';
    out += "{\"id\":" + std::to_string(c.id) + ",\"class\":";
    appendJsonString(out, c.className);
    out += ",\"text\":";
    appendJsonString(out, c.text);
    out += ",\"style\":" + std::to_string(c.style) + ",\"visible\":" + (c.visible ? "true" : "false");
    out += std::string(",\"enabled\":") + (c.enabled ? "true" : "false");
    if (c.position >= 0) out += ",\"position\":" + std::to_string(c.position);
    out += "}";
  }
  const auto rect = [](const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + "]";
  };
  out += "],\"frame\":" + rect(s.frame) + ",\"workArea\":" + rect(s.workArea);
  out += std::string(",\"topmost\":") + (s.topmost ? "true" : "false") + ",\"owned\":" + (s.owned ? "true" : "false");
  out += ",\"action\":";
  appendJsonString(out, action);
  out += std::string(",\"closed\":") + (closed ? "true" : "false") + "}";
  return out;
}

}  // namespace uidriver
