// The run log's sites by name (log/LogSites.inc): where each fixed log line of the tool comes from.
#pragma once

#include "log/LogEntry.h"
#include "log/WriteLog.h"

#include <algorithm>
#include <cstddef>
#include <string>

// What a log line shows of its site. The file is the one the user knows from the log, not the file the
// code physically sits in.
struct LogSite {
  const char16_t* file;
  const char16_t* function;
  int line;
  const char16_t* level;
};

namespace logsite {
#define QUILLON_LOG_SITE(name, file, function, line, level) \
  inline constexpr LogSite name{u"" file, u"" function, line, u"" level};
#include "log/LogSites.inc"
#undef QUILLON_LOG_SITE

// Every site with its name in log/LogSites.inc, for what names a step by its site (quillon-fetch).
struct Named {
  const char* name;
  const LogSite& site;
};
inline constexpr Named all[] = {
#define QUILLON_LOG_SITE(name, file, function, line, level) {#name, name},
#include "log/LogSites.inc"
#undef QUILLON_LOG_SITE
};
}  // namespace logsite

// How many units of message an entry from this site holds before it is cut (log/LogEntry.h's limits).
inline std::size_t messageRoom(const LogSite& site) {
  // The entry without a message, its final line feed included; the time stamp has a fixed width.
  const std::size_t rest =
      quillon::composeLogEntry(quillon::LogTime{}, site.level, site.file, site.function, site.line, u"").size();
  return std::min(quillon::kLogMessageLimit, quillon::kLogEntryLimit - rest);
}

// WriteLog from the site's file, function, line and level. An ERROR line is also noted as the process's last
// error (below), whether or not the run log could take it.
void WriteLog(const LogSite& site, const char16_t* message);

// The last ERROR line this process wrote by site: its site (null before the first) and its message, and how
// many such lines it has written so far, so that a caller can tell whether a step it ran ended in one. A
// failing step's last ERROR line says why it failed, also where the run log itself cannot be written.
struct LoggedError {
  const LogSite* site = nullptr;
  std::u16string message;
  unsigned long count = 0;
};
const LoggedError& lastLoggedError();
