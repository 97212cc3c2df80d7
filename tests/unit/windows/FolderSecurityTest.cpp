// Which folders only administrators can write, read from security descriptors as Windows keeps them (written
// here in the security descriptor language); and the installer logs' folder that the tool finds so under the
// Windows folder (here the Wine prefix's), held while the installer runs.
#include "platform/AdminFolder.h"
#include "platform/windows/FolderSecurity.h"

#include <aclapi.h>
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
      {"the Windows folder's Logs as Windows ships it",
       L"O:" TRUSTED_INSTALLER L"D:PAI(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
       L"(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;FA;;;" TRUSTED_INSTALLER L")",
       true},
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

// The folder's path, and the one of each folder on its way: the tool's own, Software, Logs.
std::vector<std::wstring> foldersOnTheWay(const AdminFolder& folder) {
  std::vector<std::wstring> paths{toWide(folder.path)};
  for (int i = 1; i < 3; ++i) paths.push_back(paths.back().substr(0, paths.back().rfind(L'\\')));
  return paths;
}

// The folder's identity: its volume and its file index there.
std::pair<DWORD, ULONGLONG> identity(HANDLE folder) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(folder, &information)) return {0, 0};
  return {information.dwVolumeSerialNumber, (ULONGLONG{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

// The folders the path names are the ones held. (That Windows then refuses to rename or delete them, as the
// holds share no deleting, Wine does not show: it applies no sharing rules to folders.)
TEST(AdminFolder, EachFolderOnTheWayIsHeldAsChecked) {
  const AdminFolder folder = openInstallerLogFolder();
  ASSERT_EQ(folder.state, AdminFolder::State::Ready) << folder.error;
  ASSERT_EQ(folder.held.size(), 3u);
  const std::vector<std::wstring> paths = foldersOnTheWay(folder);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const HANDLE held = reinterpret_cast<HANDLE>(folder.held[2 - i]->get());
    const ManagedKernelHandle now(CreateFileW(paths[i].c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    EXPECT_EQ(identity(held), identity(now.get())) << paths[i].c_str();
  }
}

// The Windows folder's Logs as a program may have changed it: it lets everyone add files and folders (say a
// junction of their own named Software). The logs' folder is refused, Logs named.
TEST(AdminFolder, ALogsFolderThatUsersCanAddToIsRefused) {
  std::wstring logs;
  {
    const AdminFolder ready = openInstallerLogFolder();
    ASSERT_EQ(ready.state, AdminFolder::State::Ready) << ready.error;
    logs = foldersOnTheWay(ready).back();
  }

  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR before = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(logs.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &before),
            static_cast<DWORD>(ERROR_SUCCESS));
  PACL widened = nullptr;
  EXPLICIT_ACCESSW users = {};
  BuildExplicitAccessWithNameW(&users, const_cast<wchar_t*>(L"Everyone"), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY,
                               GRANT_ACCESS, NO_INHERITANCE);
  ASSERT_EQ(SetEntriesInAclW(1, &users, dacl, &widened), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(logs.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, widened, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  const AdminFolder folder = openInstallerLogFolder();
  SetNamedSecurityInfoW(const_cast<wchar_t*>(logs.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                        dacl, nullptr);
  LocalFree(widened);
  LocalFree(before);
  EXPECT_EQ(folder.state, AdminFolder::State::Refused);
  EXPECT_EQ(toWide(folder.path), logs);
  EXPECT_TRUE(folder.held.empty());
  EXPECT_EQ(openInstallerLogFolder().state, AdminFolder::State::Ready) << "the rights are back as they were";
}

}  // namespace
