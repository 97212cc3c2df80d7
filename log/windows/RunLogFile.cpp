// Windows body of log/RunLogFile.h: the C runtime's UTF-16LE text mode does the byte-order mark and the
// CR LF line ends.
#include "log/RunLogFile.h"

#include "platform/windows/WindowsSupport.h"

#include <share.h>
#include <shlwapi.h>
#include <stdio.h>

namespace quillon {

struct RunLogFile::Stream {
  FILE* file;
};

std::u16string runLogPath() {
  // Both results are checked: a temporary path that does not fit would otherwise leave the buffer empty
  // and put the log into whatever the current folder is.
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return {};
  if (!PathAppendW(path, L"QuillonMigrationTool.log")) return {};
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
  // "a,ccs=UTF-16LE" writes the byte-order mark only into an empty file and turns LF into CR LF;
  // _SH_DENYRW keeps the file to ourselves while it is open, also where _wfopen_s would share it.
  FILE* file = _wfsopen(asWide(path.c_str()), L"a,ccs=UTF-16LE", _SH_DENYRW);
  if (file != nullptr) stream_.reset(new Stream{file});
}

RunLogFile::~RunLogFile() {
  if (stream_) fclose(stream_->file);
}

void RunLogFile::append(std::u16string_view entry) {
  if (!stream_) return;
  const std::wstring text = toWide(entry);
  fputws(text.c_str(), stream_->file);
}

}  // namespace quillon
