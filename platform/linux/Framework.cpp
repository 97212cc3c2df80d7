// Linux bodies of the framework (platform/Framework.h): the dialog as a question on the terminal. The
// answers reach the dialog as the same commands a Windows dialog gets from its buttons and keys.
#include "platform/Framework.h"

#include "platform/Text.h"

#include <algorithm>
#include "platform/linux/DialogTemplate.h"
#include "platform/linux/TerminalPrompt.h"

using quillon::DialogControlTemplate;
using quillon::DialogTemplate;

void RegisterForRestart() {}

void InitCommonControlClasses() {}

void CWnd::SetWindowText(const char16_t* text) { m_text = text; }

std::u16string CWnd::GetWindowText() const { return m_text; }

// Reaches the dialog's protected hooks from the terminal loop.
struct DialogPlatform {
  static BOOL init(CDialog& dialog) { return dialog.OnInitDialog(); }
  static void command(CDialog& dialog, int id) { dialog.OnCommand(id, kButtonClicked); }
};

std::intptr_t CDialog::RunModal() {
  const DialogTemplate* dialogTemplate = quillon::findDialogTemplate(m_templateId);
  if (dialogTemplate == nullptr) return -1;

  int defaultButton = kIdOkCommand;
  for (const DialogControlTemplate& control : dialogTemplate->controls) {
    if (control.kind == DialogControlTemplate::Kind::DefaultButton) defaultButton = control.id;
  }
  DialogPlatform::init(*this);

  m_shown = !m_ended;  // a dialog ended while it initialises is never shown
  while (!m_ended) {
    // The terminal shows the labels first, then the text boxes, then the buttons as the answers.
    std::u16string labels, boxes;
    std::vector<quillon::PromptChoice> choices;
    for (const DialogControlTemplate& control : dialogTemplate->controls) {
      switch (control.kind) {
        case DialogControlTemplate::Kind::Label:
          labels += std::u16string(control.text) + u"\n";
          break;
        case DialogControlTemplate::Kind::Edit:
          for (const CWnd* bound : m_controls) {
            if (bound->m_id == control.id) boxes += u"\n" + bound->m_text + u"\n";
          }
          break;
        default:
          choices.push_back({control.key, quillon::toUtf8(control.text), control.id});
      }
    }
    const std::u16string text = labels + boxes;
    // Enter presses the button with the focus, else the default button; the end of input is the close
    // button, which the dialog sees as IDCANCEL.
    const bool focusOnButton = m_focusId != 0 && std::any_of(choices.begin(), choices.end(), [&](const auto& c) {
      return c.result == m_focusId;
    });
    const int answer = quillon::promptOnTerminal(std::u16string(dialogTemplate->title), text, choices,
                                                 focusOnButton ? m_focusId : defaultButton, kIdCancelCommand);
    DialogPlatform::command(*this, answer);
  }
  return m_result;
}

void CDialog::BindControl(int id, CWnd& control) {
  control.m_id = id;
  control.m_text.clear();
  m_controls.push_back(&control);
}

std::u16string CDialog::DialogCaption() const {
  const DialogTemplate* dialogTemplate = quillon::findDialogTemplate(m_templateId);
  return dialogTemplate != nullptr ? std::u16string(dialogTemplate->title) : std::u16string();
}

void CDialog::EndDialog(int result) {
  if (m_shown) RecordEnd(result);
  m_ended = true;
  m_result = result;
}

void CDialog::GotoDlgCtrl(CWnd* control) { m_focusId = control->GetDlgCtrlID(); }
