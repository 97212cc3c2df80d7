// The dialog templates of the Linux build: the same dialog as template IDD_LICENSE of MigrationTool.rc,
// without the geometry a terminal has no use for.
#include "platform/linux/DialogTemplate.h"
#include "res/LicenseDialogTexts.h"
#include "res/resource.h"

namespace quillon {

const DialogTemplate* findDialogTemplate(unsigned id) {
  using Kind = DialogControlTemplate::Kind;
  static const DialogTemplate license = {IDD_LICENSE,
                                         u"" LICENSE_DIALOG_TITLE,
                                         {
                                             {IDC_AGREE, Kind::DefaultButton, u"" LICENSE_DIALOG_AGREE, "a"},
                                             {IDC_DISAGREE, Kind::PushButton, u"" LICENSE_DIALOG_DISAGREE, "d"},
                                             {IDC_LICENSE_TEXT, Kind::Edit, u"", nullptr},
                                             {-1, Kind::Label, u"" LICENSE_DIALOG_PROMPT, nullptr},
                                         }};
  return id == IDD_LICENSE ? &license : nullptr;
}

}  // namespace quillon
