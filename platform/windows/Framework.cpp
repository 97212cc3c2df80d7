// Windows bodies of the framework (platform/Framework.h): the entry point's helpers and a real modal
// dialog from the executable's dialog template.
#include "platform/Framework.h"

#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

// comctl32 is delay-loaded (platform/windows/SystemLibrary.h). Its header declares its functions dllimport,
// so 32-bit code would call through the delay-import table's slot, which GNU ld leaves empty until the
// delay-load stub has filled it: the calls must go to the stub itself.
#undef WINCOMMCTRLAPI
#define WINCOMMCTRLAPI
#include <commctrl.h>

// <windows.h> maps these names to their wide forms; here they are the framework's own methods.
#undef SetWindowText
#undef GetWindowText

void RegisterForRestart() { RegisterApplicationRestart(nullptr, 0); }

void InitCommonControlClasses() {
  // Without comctl32 the terms dialog cannot be created, and the flow reports that as unreadable terms.
  if (quillon::loadSystemLibrary("comctl32.dll") == nullptr) return;
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);
}

void CWnd::SetWindowText(const char16_t* text) {
  if (m_hWnd != nullptr) SetWindowTextW(static_cast<HWND>(m_hWnd), quillon::asWide(text));
}

std::u16string CWnd::GetWindowText() const {
  if (m_hWnd == nullptr) return {};
  const int length = GetWindowTextLengthW(static_cast<HWND>(m_hWnd));
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(static_cast<HWND>(m_hWnd), text.data(), length + 1)));
  return quillon::fromWide(text);
}

// Reaches the dialog's protected hooks from the window procedure.
struct DialogPlatform {
  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      auto* dialog = reinterpret_cast<CDialog*>(lParam);
      dialog->m_hWnd = window;
      centreOnScreen(window);
      return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog != nullptr && message == WM_COMMAND) {
      return dialog->OnCommand(LOWORD(wParam), HIWORD(wParam));
    }
    return FALSE;
  }

  // The template places the dialog at 0, 0; it opens in the middle of the work area instead.
  static void centreOnScreen(HWND window) {
    RECT area, frame;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
};

std::intptr_t CDialog::RunModal() {
  const HWND owner = m_parent != nullptr ? static_cast<HWND>(m_parent->GetSafeHwnd()) : nullptr;
  const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                                         DialogPlatform::procedure, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

void CDialog::BindControl(int id, CWnd& control) {
  control.m_hWnd = GetDlgItem(static_cast<HWND>(m_hWnd), id);
  control.m_id = id;
  m_controls.push_back(&control);
}

std::u16string CDialog::DialogCaption() const {
  wchar_t caption[256] = {};
  GetWindowTextW(static_cast<HWND>(m_hWnd), caption, 256);
  return quillon::asText(caption);
}

void CDialog::EndDialog(int result) {
  // A dialog ended while it initialises is never shown, so it leaves nothing in the transcript.
  if (IsWindowVisible(static_cast<HWND>(m_hWnd))) RecordEnd(result);
  m_ended = true;
  m_result = result;
  ::EndDialog(static_cast<HWND>(m_hWnd), result);
}

void CDialog::GotoDlgCtrl(CWnd* control) {
  SendMessageW(static_cast<HWND>(m_hWnd), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->GetSafeHwnd()), TRUE);
}
