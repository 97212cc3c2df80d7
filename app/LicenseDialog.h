// The terms-of-use dialog: the terms from License.txt in a read-only box, an agree and a disagree button.
#pragma once

#include "platform/Framework.h"
#include "res/resource.h"

// The dialog's end codes.
inline constexpr int kLicenseAgreed = 1;
inline constexpr int kLicenseDeclined = 2;     // the disagree button, Esc, the close button, Alt+F4
inline constexpr int kLicenseUnreadable = 100;  // License.txt could not be read; the dialog was never shown

class CLicenseDialog : public CDialog {
 public:
  explicit CLicenseDialog(CWnd* pParent = nullptr);

  enum { IDD = IDD_LICENSE };

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  // The dialog's message map: the two buttons' clicks; everything else goes to CDialog (so IDCANCEL from
  // Esc or the close button declines, and IDOK would agree).
  BOOL OnCommand(int id, unsigned notification) override;

  void OnBnClickedAgree();
  void OnBnClickedDisagree();

 private:
  CEdit m_licenseText;
  CButton m_agreeButton;
};
