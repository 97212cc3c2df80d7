// Windows body of helper/PackageFile.h: share modes. The writing handle lets others read only (they must
// share deletion with it, since it may delete); the hold is a read-only handle that lets others read only,
// so the Windows Installer (which opens a package denying writers) can open the file, and nobody can open it
// for writing, delete it or rename it (the hold shares no deletion, which a rename needs too).
#include "helper/PackageFile.h"

#include "platform/windows/WindowsSupport.h"

#include <shlwapi.h>

#include <optional>
#include <vector>

namespace quillon {

namespace {

HANDLE handleOf(const ManagedPlatformFile& file) { return reinterpret_cast<HANDLE>(file.get()); }

HANDLE openExisting(const std::u16string& path, DWORD access, DWORD share) {
  // A reparse point put in the file's place is opened as itself, never followed.
  return CreateFileW(asWide(path.c_str()), access, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

// The file's identity (and size and links) as its handle shows them; nothing when the call fails.
std::optional<BY_HANDLE_FILE_INFORMATION> identify(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return std::nullopt;
  return information;
}

// Whether `second` is the file `first` was, with no second name, and (where given) `size` bytes long.
bool sameFile(const std::optional<BY_HANDLE_FILE_INFORMATION>& first, HANDLE second,
              const std::uint64_t* size = nullptr) {
  const std::optional<BY_HANDLE_FILE_INFORMATION> other = identify(second);
  return first && other && first->dwVolumeSerialNumber == other->dwVolumeSerialNumber &&
         first->nFileIndexHigh == other->nFileIndexHigh && first->nFileIndexLow == other->nFileIndexLow &&
         other->nNumberOfLinks == 1 &&
         (size == nullptr || ((static_cast<std::uint64_t>(other->nFileSizeHigh) << 32) | other->nFileSizeLow) == *size);
}

// A new file's security: the default rights, and the label of the tool's own integrity level refusing writes
// from below it. An elevated tool's package can then never be opened for writing by the user's other
// programs, not even in the instant between the writing handle and the hold, when the share modes cannot
// keep them out. Null when the level cannot be read (the share modes alone).
class OwnLevelOnly {
 public:
  OwnLevelOnly() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    const ManagedKernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    level_.resize(size / sizeof(DWORD) + 1);
    if (size == 0 || !GetTokenInformation(token, TokenIntegrityLevel, level_.data(), size, &size)) return;
    const PSID level = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(level_.data())->Label.Sid;
    const DWORD aclSize = sizeof(ACL) + sizeof(SYSTEM_MANDATORY_LABEL_ACE) + GetLengthSid(level);
    acl_.resize(aclSize / sizeof(DWORD) + 1);
    const PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddMandatoryAce(acl, ACL_REVISION, 0, SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, level) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorSacl(&descriptor_, TRUE, acl, FALSE)) {
      return;
    }
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    ready_ = true;
  }
  OwnLevelOnly(const OwnLevelOnly&) = delete;
  OwnLevelOnly& operator=(const OwnLevelOnly&) = delete;

  SECURITY_ATTRIBUTES* get() { return ready_ ? &attributes_ : nullptr; }

 private:
  std::vector<DWORD> level_;  // DWORDs: a TOKEN_MANDATORY_LABEL and an ACL want their alignment
  std::vector<DWORD> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool ready_ = false;
};

bool deleteThrough(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

}  // namespace

bool PackageFile::openNew() {
  const wchar_t* path = asWide(path_.c_str());
  // The old file must go: the package would otherwise follow its bytes. One that cannot be deleted fails.
  if (PathFileExistsW(path) && !DeleteFileW(path)) return false;
  // CREATE_NEW: an entry another program put at the name since (a file, a link) is never opened. DELETE, so
  // that a cancelled download removes this very file through this handle.
  OwnLevelOnly security;
  const auto create = [&](SECURITY_ATTRIBUTES* attributes) {
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, attributes, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE handle = create(security.get());
  // A file system that keeps no labels refuses one; the share modes still keep others out.
  if (handle == INVALID_HANDLE_VALUE && security.get() != nullptr && GetLastError() != ERROR_FILE_EXISTS) {
    handle = create(nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) return false;
  file_.reset(reinterpret_cast<std::intptr_t>(handle));
  return true;
}

bool PackageFile::truncateWritten() {
  FILE_END_OF_FILE_INFO end = {};
  return SetFileInformationByHandle(handleOf(file_), FileEndOfFileInfo, &end, sizeof(end));
}

bool PackageFile::holdReadOnly(std::uint64_t size) {
  // No open that denies writers succeeds while the writing handle exists, so the bridge (it must share
  // writing and deletion with it) keeps the file from going away between the two; the hold is then shown to
  // be the same file, with nothing added or cut. A program that has the file open for writing by then makes
  // the hold fail; to open, write and close again within that instant it would have to run at the tool's own
  // integrity level (the file's label refuses the user's other programs), and such a program has the PC.
  const ManagedPlatformFile bridge(reinterpret_cast<std::intptr_t>(
      openExisting(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)));
  if (bridge.get() == -1 || !sameFile(identify(handleOf(file_)), handleOf(bridge))) return false;
  file_.reset();
  hold_.reset(reinterpret_cast<std::intptr_t>(openExisting(path_, GENERIC_READ, FILE_SHARE_READ)));
  return hold_.get() != -1 && sameFile(identify(handleOf(bridge)), handleOf(hold_), &size);
}

void PackageFile::removeOwn() {
  if (file_.get() != -1) {
    deleteThrough(handleOf(file_));  // the file goes when its last handle closes, right below
    file_.reset();
    return;
  }
  if (hold_.get() == -1) return;
  // The hold cannot delete (a handle that could would keep the installer out), and no handle that can may
  // be opened beside it. So one is opened once the hold is released, and used only if it is on the file held.
  const std::optional<BY_HANDLE_FILE_INFORMATION> held = identify(handleOf(hold_));
  hold_.reset();
  const ManagedPlatformFile own(reinterpret_cast<std::intptr_t>(
      openExisting(path_, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)));
  if (own.get() != -1 && sameFile(held, handleOf(own))) deleteThrough(handleOf(own));
}

}  // namespace quillon
