// Windows body of platform/FileReplace.h: CreateFileW(CREATE_NEW), FlushFileBuffers, MoveFileExW.
#include "platform/FileReplace.h"

#include "platform/WholeFile.h"
#include "platform/windows/WindowsSupport.h"

#include <algorithm>

namespace quillon {

int replaceFileWhole(const std::u16string& path, std::string_view bytes, FileUse) {
  const std::wstring target = toWide(path);
  const std::wstring fresh = target + L".new";
  // DeleteFileW removes a link itself, never what it points to.
  if (!DeleteFileW(fresh.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return static_cast<int>(GetLastError());
  // CREATE_NEW fails on any name that exists, a link included, so nothing is written through one.
  ManagedKernelHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
  DWORD error = 0;
  std::size_t done = 0;
  while (error == 0 && done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      error = GetLastError() != 0 ? GetLastError() : ERROR_WRITE_FAULT;
    }
    done += written;
  }
  if (error == 0 && !FlushFileBuffers(file.get())) error = GetLastError();
  file.reset();
  if (error == 0 && !MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) DeleteFileW(fresh.c_str());
  return static_cast<int>(error);
}

bool readPlainFile(const std::u16string& path, std::string& bytes, std::uint64_t limit) {
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then refused.
  const ManagedKernelHandle file(CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) return false;
  if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1) {
    return false;
  }
  const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > limit) return false;
  bytes.assign(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  bytes.resize(done);
  return true;
}

}  // namespace quillon
