// The run-log file itself: where it lives and how one entry is appended. One body per platform.
#pragma once

#include "log/LogEntry.h"

#include <memory>
#include <string>
#include <string_view>

namespace quillon {

// Full path of the run log in the user's temporary folder; empty when no such path can be formed.
std::u16string runLogPath();

// The local wall-clock time, to the second.
LogTime currentLocalTime();

// The run log opened for one append, for this process's exclusive use: while it is open no other program
// can open the file, and while any other program has it open it cannot be opened here.
class RunLogFile {
 public:
  RunLogFile();
  ~RunLogFile();
  RunLogFile(const RunLogFile&) = delete;
  RunLogFile& operator=(const RunLogFile&) = delete;

  bool isOpen() const { return stream_ != nullptr; }

  // Writes the entry as UTF-16LE text: a byte-order mark first when the file is empty, and every line
  // feed as carriage return and line feed.
  void append(std::u16string_view entry);

 private:
  struct Stream;
  std::unique_ptr<Stream> stream_;
};

}  // namespace quillon
