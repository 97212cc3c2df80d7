// The platform-neutral part of the framework: the application object's registration and hooks, and the
// dialog's command routing.
#include "platform/Framework.h"

#include "platform/UiMode.h"
#include "platform/UiTranscript.h"

#include <utility>

namespace {

CWinApp* theApplication = nullptr;

}  // namespace

// Per-platform parts, defined in platform/<os>/Framework.cpp.
void RegisterForRestart();

CWinApp::CWinApp() { theApplication = this; }

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = nullptr;
}

BOOL CWinApp::InitInstance() {
  if (m_dwRestartManagerSupportFlags & 1) RegisterForRestart();
  return TRUE;
}

int CWinApp::ExitInstance() { return m_nExitCode; }

CWinApp* AfxGetApp() { return theApplication; }

int RunApplication(std::vector<std::u16string> arguments) {
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return 1;
  app->m_arguments = std::move(arguments);
  // A TRUE result would ask for a message loop; the tool never needs one, so either way the exit hook
  // runs next and its result ends the process.
  app->InitInstance();
  return app->ExitInstance();
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) { pDX->m_pDlgWnd->BindControl(id, control); }

CDialog::CDialog(unsigned templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() = default;

std::intptr_t CDialog::DoModal() {
  if (quillon::uiMode() != quillon::UiMode::Full) return -1;  // nobody is to see it: as if it could not be made
  m_ended = false;
  m_shown = false;
  m_result = 0;
  m_controls.clear();
  m_focusId = 0;
  return RunModal();
}

BOOL CDialog::OnInitDialog() {
  CDataExchange exchange(this);
  DoDataExchange(&exchange);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

BOOL CDialog::OnCommand(int id, unsigned notification) {
  if (notification != kButtonClicked) return FALSE;
  if (id == kIdOkCommand) {
    OnOK();
    return TRUE;
  }
  if (id == kIdCancelCommand) {
    OnCancel();
    return TRUE;
  }
  return FALSE;
}

void CDialog::RecordEnd(std::intptr_t code) {
  std::u16string text;
  for (CWnd* control : m_controls) {
    if (dynamic_cast<CEdit*>(control) == nullptr) continue;
    if (!text.empty()) text += u"\n";
    text += control->GetWindowText();
  }
  quillon::recordUi("dialog", DialogCaption(), text, 0, static_cast<int>(code));
}

void CDialog::OnOK() { EndDialog(kIdOkCommand); }

void CDialog::OnCancel() { EndDialog(kIdCancelCommand); }
