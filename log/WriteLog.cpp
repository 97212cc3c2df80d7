#include "log/WriteLog.h"

#include "log/LogEntry.h"
#include "log/RunLogFile.h"

using namespace quillon;

void WriteLog(const char16_t* sourceFile, const char16_t* function, int line, const char16_t* level,
              const char16_t* message) {
  RunLogFile file;
  if (!file.isOpen()) return;  // the entry is lost; nobody is told
  file.append(composeLogEntry(currentLocalTime(), level, sourceFile, function, line, message));
}
