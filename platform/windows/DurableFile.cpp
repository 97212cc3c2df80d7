// Windows body of platform/DurableFile.h: the new file is made beside the old one (CREATE_NEW, so nothing
// at its name is ever opened or followed) with a security descriptor of its own, flushed with
// FlushFileBuffers, and moved over the old name with MOVEFILE_WRITE_THROUGH, which returns only once the
// move is on the disk.
#include "platform/DurableFile.h"

#include "platform/windows/WindowsSupport.h"

#include <sddl.h>

#include <algorithm>

namespace quillon {
namespace {

// Owned by Administrators; full control for SYSTEM and Administrators alone; nothing inherited from the
// folder, whose rights another program may have widened.
constexpr wchar_t kAdministratorsOnlyFile[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

void freeLocal(PSECURITY_DESCRIPTOR descriptor) { LocalFree(descriptor); }
using ManagedSecurityDescriptor = ManagedResource<PSECURITY_DESCRIPTOR, freeLocal>;

int lastError() { return static_cast<int>(GetLastError()); }

int writeNewFile(const std::wstring& path, std::string_view bytes) {
  ManagedSecurityDescriptor descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlyFile, SDDL_REVISION_1,
                                                            descriptor.receive(), nullptr)) {
    return lastError();
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
  const ManagedKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return lastError();
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) return lastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return FlushFileBuffers(file.get()) ? 0 : lastError();
}

}  // namespace

int replaceFileDurably(const std::u16string& path, std::string_view bytes) {
  const std::wstring target = toWide(path);
  const std::wstring newPath = target + L".new";
  // What a replacement cut short may have left (a file, or a link put there): the entry itself goes, never
  // what a link points to.
  if (!DeleteFileW(newPath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return lastError();
  int error = writeNewFile(newPath, bytes);
  // The move replaces the entry at the old name, a link included, and never writes through it.
  if (error == 0 && !MoveFileExW(newPath.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = lastError();
  }
  if (error != 0) DeleteFileW(newPath.c_str());
  return error;
}

int removeFileDurably(const std::u16string& path) {
  // Windows offers no flush of a folder's entries. NTFS journals the removal: after a power cut the file is
  // either gone or still there whole, and a reader of the folder copes with either.
  if (DeleteFileW(asWide(path.c_str()))) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : static_cast<int>(error);
}

}  // namespace quillon
