// Windows body of log/RunLogFile.h.
#include "log/RunLogFile.h"

#include "platform/windows/WindowsSupport.h"

#include <shlwapi.h>

namespace quillon {

namespace {

// Share mode 0: the file is ours alone while it is open. A reparse point at the name is opened as itself,
// never followed. Appending only, so a file with the read-only attribute cannot be opened.
HANDLE openLog(const wchar_t* path, DWORD disposition) {
  return CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, 0, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool isLinked(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information;
  return !GetFileInformationByHandle(file, &information) || information.nNumberOfLinks > 1 ||
         (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

std::u16string runLogPath() {
  // Both results are checked: a temporary path that does not fit would otherwise leave the buffer empty
  // and put the log into whatever the current folder is.
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return {};
  if (!PathAppendW(path, asWide(runLogFileName().c_str()))) return {};
  return asText(path);
}

LogTime currentLocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LogTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

RunLogFile::RunLogFile() {
  const std::u16string path = runLogPath();
  if (path.empty()) return;
  HANDLE file = openLog(asWide(path.c_str()), OPEN_ALWAYS);
  if (file != INVALID_HANDLE_VALUE && isLinked(file)) {
    // Nothing is written through the link: its name goes (the linked file stays as it is), and the log
    // begins anew as a file of its own, unless another program put something at the name meanwhile.
    CloseHandle(file);
    file = DeleteFileW(asWide(path.c_str())) ? openLog(asWide(path.c_str()), CREATE_NEW) : INVALID_HANDLE_VALUE;
  }
  handle_.reset(reinterpret_cast<std::intptr_t>(file));
}

bool RunLogFile::isEmpty() const {
  LARGE_INTEGER size;
  return GetFileSizeEx(reinterpret_cast<HANDLE>(handle_.get()), &size) && size.QuadPart == 0;
}

void RunLogFile::write(const std::string& bytes) {
  // At the end of the file, wherever that is now.
  OVERLAPPED atEnd = {};
  atEnd.Offset = 0xFFFFFFFF;
  atEnd.OffsetHigh = 0xFFFFFFFF;
  DWORD written = 0;
  WriteFile(reinterpret_cast<HANDLE>(handle_.get()), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
            &atEnd);
}

}  // namespace quillon
