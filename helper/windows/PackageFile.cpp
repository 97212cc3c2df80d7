// Windows body of helper/PackageFile.h: share modes. The writing handle lets others read only; the hold is
// a read-only handle that lets others read only, so the Windows Installer (which opens a package denying
// writers) can open the file, and nobody can open it for writing, delete it or rename it (neither handle
// shares deletion, which a rename needs too).
#include "helper/PackageFile.h"

#include "platform/windows/WindowsSupport.h"

#include <fcntl.h>
#include <io.h>
#include <shlwapi.h>

namespace quillon {

namespace {

HANDLE openForReading(const std::u16string& path, DWORD share) {
  // A reparse point put in the file's place is opened as itself, never followed.
  return CreateFileW(asWide(path.c_str()), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

}  // namespace

bool PackageFile::openNew() {
  const wchar_t* path = asWide(path_.c_str());
  // The old file must go: the package would otherwise follow its bytes. One that cannot be deleted fails.
  if (PathFileExistsW(path) && !DeleteFileW(path)) return false;
  // CREATE_NEW: an entry another program put at the name since (a file, a link) is never opened.
  const HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  // The C runtime's stream owns the handle from here on; fclose closes it.
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    return false;
  }
  *file_.receive() = _fdopen(descriptor, "ab");
  if (file_.get() == nullptr) {
    _close(descriptor);
    return false;
  }
  return true;
}

bool PackageFile::truncateWritten() { return _chsize_s(_fileno(file_.get()), 0) == 0; }

bool PackageFile::holdReadOnly() {
  // No open that denies writers succeeds while the writing handle exists, so the bridge (shares writing,
  // not deletion) keeps the file from being deleted or renamed between the two. A program that opens the
  // file for writing in that instant makes the hold fail; one that writes and closes again is caught by the
  // caller's reading back.
  const ManagedKernelHandle bridge(openForReading(path_, FILE_SHARE_READ | FILE_SHARE_WRITE));
  if (bridge.get() == INVALID_HANDLE_VALUE) return false;
  if (file_.close() != 0) return false;
  const HANDLE hold = openForReading(path_, FILE_SHARE_READ);
  if (hold == INVALID_HANDLE_VALUE) return false;
  hold_.reset(reinterpret_cast<std::intptr_t>(hold));
  return true;
}

long long PackageFile::readHeld(std::uint64_t offset, char* buffer, std::size_t size) const {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(hold_.get()), buffer, static_cast<DWORD>(size), &read, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return read;
}

}  // namespace quillon
