// Windows body of platform/AdminFolder.h: under GetSystemWindowsDirectoryW or the known folder ProgramData,
// each folder made with CreateDirectoryW and the tool's own security descriptor, and examined through a
// handle opened on the entry itself (FILE_FLAG_OPEN_REPARSE_POINT), so a junction or symbolic link is seen as what it is; that handle,
// opened without delete sharing, is then held, so the entry stays the folder that was examined.
#include "platform/AdminFolder.h"

#include "platform/windows/FolderSecurity.h"
#include "platform/windows/WindowsSupport.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

namespace quillon {
namespace {

void freeLocal(PSECURITY_DESCRIPTOR descriptor) { LocalFree(descriptor); }
using ManagedSecurityDescriptor = ManagedResource<PSECURITY_DESCRIPTOR, freeLocal>;

AdminFolder failed(DWORD error) { return {AdminFolder::State::Failed, {}, static_cast<int>(error), {}}; }
AdminFolder refused(const std::wstring& path) {
  return {AdminFolder::State::Refused, fromWide(path), 0, {}};
}

// Opens the entry at `path` as it is, without delete sharing, and looks at it through that handle: a real
// folder that only administrators (or the Windows folder's owner) can write. Ready (with no path) when it
// is, the handle then in `entry`.
AdminFolder examine(const std::wstring& path, PSID systemOwner, std::unique_ptr<ManagedPlatformFile>& entry) {
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
  return {AdminFolder::State::Ready, {}, 0, {}};
}

// Finds or makes the folders `names` under `base`, one inside the other, holding each once examined.
template <std::size_t N>
AdminFolder openUnder(std::wstring path, const char16_t* const (&names)[N]) {
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
  for (const char16_t* name : names) {
    path += L"\\" + toWide(name);
    // Made, or found: an existing entry of this name, whatever it is, is examined next. The folder it is made
    // in is held already, or is the system's own.
    if (!CreateDirectoryW(path.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
      return failed(GetLastError());
    }
    std::unique_ptr<ManagedPlatformFile> entry;
    AdminFolder folder = examine(path, systemOwner, entry);
    if (folder.state != AdminFolder::State::Ready) return folder;
    held.push_back(std::move(entry));
  }
  return {AdminFolder::State::Ready, fromWide(path), 0, std::move(held)};
}

}  // namespace

AdminFolder openInstallerLogFolder() {
  // The system's Windows folder: GetWindowsDirectoryW may name a private one per user on a terminal server.
  wchar_t windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0) return failed(GetLastError());
  if (length >= MAX_PATH) return failed(ERROR_FILENAME_EXCED_RANGE);
  return openUnder(std::wstring(windows, length), kInstallerLogFolderNames);
}

AdminFolder openToolDataFolder() {
  wchar_t* programData = nullptr;
  const HRESULT result = SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DONT_VERIFY, nullptr, &programData);
  const ManagedResource<wchar_t*, CoTaskMemFree> owned(programData);
  if (FAILED(result)) return failed(HRESULT_CODE(result));
  return openUnder(std::wstring(programData), kToolDataFolderNames);
}

}  // namespace quillon
