// The least application framework the tool needs, in the shape of the classic Windows one: an
// application object whose start-up and exit hooks the entry point calls, and a modal dialog with bound
// controls and button commands. On Windows the dialog is a real dialog from the executable's template; on
// Linux it is a question on the terminal (platform/linux/TerminalPrompt.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifndef FALSE
#define FALSE 0
#endif
#ifndef TRUE
#define TRUE 1
#endif
using BOOL = int;

// Command notification and ids, with their Windows values.
inline constexpr unsigned kButtonClicked = 0;  // BN_CLICKED
inline constexpr int kIdOkCommand = 1;         // IDOK
inline constexpr int kIdCancelCommand = 2;     // IDCANCEL

// The application. Exactly one exists, as a global object; the entry point finds it and calls
// InitInstance and then ExitInstance, whose result is the process exit code. There is no message loop:
// the tool does all its work during start-up.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  virtual int ExitInstance();

 protected:
  // Restart-manager support requested by the application (1: restart only), acted on by InitInstance.
  unsigned m_dwRestartManagerSupportFlags = 0;
  // What ExitInstance returns, and so the process's exit status.
  int m_nExitCode = 0;
  // The program's arguments, its own name not among them (Windows: its command line split by the Windows
  // rules, platform/CommandLine.h).
  std::vector<std::u16string> m_arguments;

 private:
  friend int RunApplication(std::vector<std::u16string> arguments);
};

CWinApp* AfxGetApp();

// Runs the application object with the program's arguments: the body of the entry point on both builds.
int RunApplication(std::vector<std::u16string> arguments);

// Registers the common control classes the tool's windows use (no-op where there are none).
void InitCommonControlClasses();

class CDialog;

// A control of a dialog, bound to its window by DDX_Control.
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  void* GetSafeHwnd() const { return m_hWnd; }
  int GetDlgCtrlID() const { return m_id; }
  void SetWindowText(const char16_t* text);
  std::u16string GetWindowText() const;

 private:
  friend class CDialog;
  friend void DDX_Control(class CDataExchange* pDX, int id, CWnd& control);
  void* m_hWnd = nullptr;  // the control's window (Windows)
  int m_id = 0;
  std::u16string m_text;   // the control's text where there is no window (Linux)
};

class CEdit : public CWnd {};
class CButton : public CWnd {};

class CDataExchange {
 public:
  explicit CDataExchange(CDialog* dialog) : m_pDlgWnd(dialog) {}
  CDialog* m_pDlgWnd;
};

// Binds a control member of the dialog to the dialog's control `id`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// A modal dialog from a dialog template of the executable.
class CDialog {
 public:
  explicit CDialog(unsigned templateId, CWnd* parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Shows the dialog and returns its end code once it is closed; -1 when it cannot be created, or when the
  // run's mode allows no dialog (platform/UiMode.h): then it is not even created.
  std::intptr_t DoModal();
  void EndDialog(int result);

 protected:
  // Called when the dialog's window exists, before it is shown; binds the controls (DoDataExchange).
  // Returns TRUE to have the framework put the focus on the first control, FALSE when it has set it.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* pDX);
  // A command from a control or a key (Enter: IDOK or the default button; Esc and the close button:
  // IDCANCEL). Returns TRUE when handled. The base turns IDOK into OnOK and IDCANCEL into OnCancel.
  virtual BOOL OnCommand(int id, unsigned notification);
  virtual void OnOK();
  virtual void OnCancel();
  // Moves the focus to a control, as the Tab key would (WM_NEXTDLGCTL).
  void GotoDlgCtrl(CWnd* control);

 private:
  friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
  friend struct DialogPlatform;
  // One body per platform.
  std::intptr_t RunModal();
  void BindControl(int id, CWnd& control);
  std::u16string DialogCaption() const;
  // Shared: the transcript line of a dialog the user saw (its caption and the text of its edit boxes).
  void RecordEnd(std::intptr_t code);

  unsigned m_templateId;
  CWnd* m_parent;
  void* m_hWnd = nullptr;  // the dialog's window (Windows; the terminal has none)
  bool m_ended = false;
  bool m_shown = false;
  std::intptr_t m_result = 0;
  std::vector<CWnd*> m_controls;
  int m_focusId = 0;
};
