// Another program of the same user racing the elevated tool for its downloaded package:
//   quillon-racer.exe TARGET REPLACEMENT STOP REPORT
// Until the file STOP exists it keeps trying, whenever an entry named TARGET exists, to overwrite it, to
// rename a copy of REPLACEMENT over it, to rename it away and to delete it. It then writes to REPORT, as one
// JSON object, how often it tried each, how often that succeeded, and the error codes it met.
#include "platform/windows/WindowsSupport.h"

#include <cstdio>
#include <set>
#include <string>

namespace {

struct Attempts {
  explicit Attempts(const char* name) : name(name) {}
  const char* name;
  unsigned tries = 0;
  unsigned succeeded = 0;
  std::set<DWORD> errors;

  void note(bool done) {
    ++tries;
    if (done) {
      ++succeeded;
    } else {
      errors.insert(GetLastError());
    }
  }
};

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool overwrite(const std::wstring& target) {
  const HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const char junk[] = "not the package";
  DWORD written = 0;
  const bool done = WriteFile(file, junk, sizeof junk, &written, nullptr) != 0;
  CloseHandle(file);
  return done;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fwprintf(stderr, L"usage: quillon-racer TARGET REPLACEMENT STOP REPORT\n");
    return 64;
  }
  const std::wstring target = argv[1], replacement = argv[2], stop = argv[3], report = argv[4];
  const std::wstring copy = target + L".racer", away = target + L".away";
  Attempts write("overwrite"), replace("replace"), rename("rename"), remove("delete");
  while (!exists(stop)) {
    if (!exists(target)) {
      Sleep(1);
      continue;
    }
    write.note(overwrite(target));
    if (CopyFileW(replacement.c_str(), copy.c_str(), FALSE)) {
      replace.note(MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0);
    }
    rename.note(MoveFileW(target.c_str(), away.c_str()) != 0);
    remove.note(DeleteFileW(target.c_str()) != 0);
    Sleep(5);
  }
  FILE* out = _wfopen(report.c_str(), L"w");
  if (out == nullptr) return 1;
  std::fprintf(out, "{");
  const char* separator = "";
  for (const Attempts* attempts : {&write, &replace, &rename, &remove}) {
    std::fprintf(out, "%s\"%s\": {\"tries\": %u, \"succeeded\": %u, \"errors\": [", separator, attempts->name,
                 attempts->tries, attempts->succeeded);
    const char* comma = "";
    for (const DWORD error : attempts->errors) {
      std::fprintf(out, "%s%lu", comma, static_cast<unsigned long>(error));
      comma = ", ";
    }
    std::fprintf(out, "]}");
    separator = ", ";
  }
  std::fprintf(out, "}\n");
  std::fclose(out);
  return 0;
}
