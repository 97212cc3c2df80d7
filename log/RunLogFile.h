// The run-log file itself: where it lives and how one entry is appended. One body per platform.
#pragma once

#include "log/LogEntry.h"
#include "platform/PlatformFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The run log's name in the temporary folder: the tool's own, unless a program that is not the tool chose
// another before its first line (the server check keeps its lines out of the users' migration log).
inline constexpr char16_t kRunLogFileName[] = u"QuillonMigrationTool.log";
void setRunLogFileName(std::u16string_view name);
const std::u16string& runLogFileName();

// Full path of the run log in the user's temporary folder; empty when no such path can be formed.
std::u16string runLogPath();

// The local wall-clock time, to the second.
LogTime currentLocalTime();

// The run log opened for one append, for this process's exclusive use: while it is open no other program
// can open the file, and while any other program has it open it cannot be opened here. The tool runs
// elevated and the log lies where any program of the user can write, so it is never written through a link:
// a name that is a symbolic link, another reparse point or one of several hard links to a file is removed
// (never followed, the linked file untouched) and the log starts anew as a file of its own.
class RunLogFile {
 public:
  RunLogFile();
  RunLogFile(const RunLogFile&) = delete;
  RunLogFile& operator=(const RunLogFile&) = delete;

  bool isOpen() const { return handle_.get() != -1; }

  // Writes the entry as UTF-16LE text: a byte-order mark first when the file is empty, and every line
  // feed as carriage return and line feed.
  void append(std::u16string_view entry);

 private:
  // One body per platform.
  bool isEmpty() const;
  void write(const std::string& bytes);  // a failed write is not examined: the entry is simply lost

  ManagedPlatformFile handle_;
};

}  // namespace quillon
