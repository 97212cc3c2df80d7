#include "log/WriteLog.h"

#include "log/LogEntry.h"
#include "log/LogSite.h"
#include "log/RunLogFile.h"

#include <string_view>

using namespace quillon;

void WriteLog(const char16_t* sourceFile, const char16_t* function, int line, const char16_t* level,
              const char16_t* message) {
  RunLogFile file;
  if (!file.isOpen()) return;  // the entry is lost; nobody is told
  file.append(composeLogEntry(currentLocalTime(), level, sourceFile, function, line, message));
}

namespace {

// Written by the thread that logs; the tool and its companions log from one thread.
LoggedError lastError;

}  // namespace

void WriteLog(const LogSite& site, const char16_t* message) {
  if (std::u16string_view(site.level) == u"ERROR") {
    lastError.site = &site;
    lastError.message = message;
    ++lastError.count;
  }
  WriteLog(site.file, site.function, site.line, site.level, message);
}

const LoggedError& lastLoggedError() { return lastError; }
