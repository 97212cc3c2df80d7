// Windows body of platform/InstallerLogFolder.h: under GetSystemWindowsDirectoryW, each folder made with
// CreateDirectoryW and the tool's own security descriptor, and examined through a handle opened on the entry
// itself (FILE_FLAG_OPEN_REPARSE_POINT), so a junction or symbolic link is seen as what it is; that handle,
// opened without delete sharing, is then held, so the entry stays the folder that was examined.
#include "platform/InstallerLogFolder.h"

#include "platform/windows/FolderSecurity.h"
#include "platform/windows/WindowsSupport.h"

#include <aclapi.h>
#include <sddl.h>

namespace quillon {
namespace {

void freeLocal(PSECURITY_DESCRIPTOR descriptor) { LocalFree(descriptor); }
using ManagedSecurityDescriptor = ManagedResource<PSECURITY_DESCRIPTOR, freeLocal>;

InstallerLogFolder failed(DWORD error) { return {InstallerLogFolder::State::Failed, {}, static_cast<int>(error), {}}; }
InstallerLogFolder refused(const std::wstring& path) {
  return {InstallerLogFolder::State::Refused, fromWide(path), 0, {}};
}

// Opens the entry at `path` as it is, without delete sharing, and looks at it through that handle: a real
// folder that only administrators (or the Windows folder's owner) can write. Ready (with no path) when it
// is, the handle then in `entry`.
InstallerLogFolder examine(const std::wstring& path, PSID systemOwner, std::unique_ptr<ManagedPlatformFile>& entry) {
  const HANDLE handle = CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) return failed(GetLastError());
  entry = std::make_unique<ManagedPlatformFile>(reinterpret_cast<std::intptr_t>(handle));
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return failed(GetLastError());
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return refused(path);
  }
  ManagedSecurityDescriptor descriptor;
  const DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, nullptr, nullptr, descriptor.receive());
  if (error != ERROR_SUCCESS) return failed(error);
  if (!onlyAdministratorsCanWrite(descriptor.get(), systemOwner)) return refused(path);
  return {InstallerLogFolder::State::Ready, {}, 0, {}};
}

}  // namespace

InstallerLogFolder openInstallerLogFolder() {
  // The system's Windows folder: GetWindowsDirectoryW may name a private one per user on a terminal server.
  wchar_t windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0) return failed(GetLastError());
  if (length >= MAX_PATH) return failed(ERROR_FILENAME_EXCED_RANGE);
  std::wstring path(windows, length);
  if (path.back() == L'\\') path.pop_back();

  PSID systemOwner = nullptr;  // within `ownerDescriptor`
  ManagedSecurityDescriptor ownerDescriptor;
  const DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &systemOwner,
                                            nullptr, nullptr, nullptr, ownerDescriptor.receive());
  if (error != ERROR_SUCCESS) return failed(error);

  ManagedSecurityDescriptor descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlyFolder, SDDL_REVISION_1,
                                                            descriptor.receive(), nullptr)) {
    return failed(GetLastError());
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
  std::vector<std::unique_ptr<ManagedPlatformFile>> held;
  for (const char16_t* name : kInstallerLogFolderNames) {
    path += L"\\" + toWide(name);
    // Made, or found: an existing entry of this name, whatever it is, is examined next. The folder it is made
    // in is held already, and only administrators can write it (the Windows folder is the system's own).
    if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return failed(GetLastError());
    }
    std::unique_ptr<ManagedPlatformFile> entry;
    InstallerLogFolder folder = examine(path, systemOwner, entry);
    if (folder.state != InstallerLogFolder::State::Ready) return folder;
    held.push_back(std::move(entry));
  }
  return {InstallerLogFolder::State::Ready, fromWide(path), 0, std::move(held)};
}

}  // namespace quillon
