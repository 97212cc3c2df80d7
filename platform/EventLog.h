// Reporting an event in the Windows Application log, from the tool's own event source. Windows:
// RegisterEventSourceW, ReportEventW, DeregisterEventSource; the texts come from the message file that the
// source's registration names (helper/RunEvent.cpp registers it). Linux: one JSON line per event appended to
// the file that QUILLON_EVENT_LOG_FILE names (none when it is not set):
//   {"source":"QuillonMigrationTool","type":"ERROR","id":1008,"strings":["5.1.0","-",...]}
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// The event source, and where its registration lies under HKEY_LOCAL_MACHINE.
inline constexpr char16_t kEventSourceName[] = u"QuillonMigrationTool";
inline constexpr char16_t kEventSourceKey[] =
    u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QuillonMigrationTool";

// The event types, with their Windows numbers (EVENTLOG_*_TYPE).
enum class EventType : std::uint16_t { Error = 1, Warning = 2, Information = 4 };

// Reports one event from kEventSourceName with its insertion strings (%1, %2, ... of its text). Returns 0, or
// the platform's error code.
int reportEvent(EventType type, std::uint32_t eventId, const std::vector<std::u16string>& strings);

}  // namespace quillon
