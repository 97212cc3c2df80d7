// Which folders only administrators can write, read from security descriptors as Windows keeps them (written
// here in the security descriptor language).
#include "platform/windows/FolderSecurity.h"

#include <sddl.h>

#include <gtest/gtest.h>

using namespace quillon;

namespace {

#define WINE_USER L"S-1-5-21-0-0-0-1000"
#define TRUSTED_INSTALLER L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"

TEST(FolderSecurity, OnlyAdministratorsSystemAndTrustedInstallerMayWrite) {
  const struct {
    const char* what;
    const wchar_t* descriptor;
    bool onlyAdministrators;
    const wchar_t* systemOwner = nullptr;  // the Windows folder's owner where it is not TrustedInstaller
  } cases[] = {
      {"the folder the tool makes", kAdministratorsOnlyFolder, true},
      {"a folder made under the Windows folder's Logs, inheriting its rights",
       L"O:BAD:AI(A;ID;0x1301bf;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;0x1301bf;;;BA)(A;OICIIOID;GA;;;BA)"
       L"(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)(A;CIIOID;GA;;;" TRUSTED_INSTALLER L")",
       true},
      {"owned by TrustedInstaller", L"O:" TRUSTED_INSTALLER L"D:P(A;;FA;;;" TRUSTED_INSTALLER L")(A;;FA;;;BA)", true},
      {"a denial takes nothing away from the rule", L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BA)", true},
      {"users may read and list", L"O:SYD:(A;;FA;;;SY)(A;;0x1200a9;;;WD)", true},
      {"users may add files", L"O:BAD:(A;;FA;;;BA)(A;;0x1200ab;;;BU)", false},
      {"users may make folders", L"O:BAD:(A;;FA;;;BA)(A;;0x1200ad;;;BU)", false},
      {"users may delete what is in it", L"O:BAD:(A;;FA;;;BA)(A;;0x40;;;BU)", false},
      {"users may change its rights", L"O:BAD:(A;;FA;;;BA)(A;;WD;;;BU)", false},
      {"authenticated users may modify", L"O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;AU)", false},
      {"everyone's files inherit full control", L"O:BAD:(A;;FA;;;BA)(A;OICIIO;GA;;;WD)", false},
      {"a user owns it", L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", false},
      {"no DACL: everything to everyone", L"O:BA", false},
      // Wine: every file belongs to the one user, the Windows folder included.
      {"owned by the Windows folder's owner", L"O:" WINE_USER L"D:(A;;FA;;;SY)(A;;FA;;;" WINE_USER L")(A;;0x1200a9;;;WD)",
       true, WINE_USER},
      {"another user than the Windows folder's owner", L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", false, WINE_USER},
      {"the Windows folder's owner and another user may write",
       L"O:" WINE_USER L"D:(A;;FA;;;" WINE_USER L")(A;;FA;;;S-1-5-21-1-2-3-1001)", false, WINE_USER},
  };
  for (const auto& c : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.descriptor, SDDL_REVISION_1, &descriptor,
                                                                     nullptr))
        << c.what;
    PSID systemOwner = nullptr;
    if (c.systemOwner != nullptr) {
      ASSERT_TRUE(ConvertStringSidToSidW(c.systemOwner, &systemOwner)) << c.what;
    }
    EXPECT_EQ(onlyAdministratorsCanWrite(descriptor, systemOwner), c.onlyAdministrators) << c.what;
    LocalFree(systemOwner);
    LocalFree(descriptor);
  }
}

}  // namespace
