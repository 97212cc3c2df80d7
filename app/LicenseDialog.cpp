#include "app/LicenseDialog.h"

#include "helper/Helper.h"

#include <memory>

CLicenseDialog::CLicenseDialog(CWnd* pParent) : CDialog(IDD, pParent) {}

void CLicenseDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_LICENSE_TEXT, m_licenseText);
  DDX_Control(pDX, IDC_AGREE, m_agreeButton);
}

BOOL CLicenseDialog::OnInitDialog() {
  CDialog::OnInitDialog();

  char16_t* text = nullptr;
  if (!Helper::readLicenseText(text)) {
    EndDialog(kLicenseUnreadable);  // before the dialog is shown: the flow tells the user
    return TRUE;
  }
  const std::unique_ptr<char16_t[]> owned(text);
  m_licenseText.SetWindowText(text);

  // The focus goes to the agree button, so Enter agrees and nothing in the terms box is selected.
  GotoDlgCtrl(&m_agreeButton);
  return FALSE;
}

BOOL CLicenseDialog::OnCommand(int id, unsigned notification) {
  if (notification == kButtonClicked && id == IDC_AGREE) {
    OnBnClickedAgree();
    return TRUE;
  }
  if (notification == kButtonClicked && id == IDC_DISAGREE) {
    OnBnClickedDisagree();
    return TRUE;
  }
  return CDialog::OnCommand(id, notification);
}

void CLicenseDialog::OnBnClickedAgree() { EndDialog(kLicenseAgreed); }

void CLicenseDialog::OnBnClickedDisagree() { EndDialog(kLicenseDeclined); }
