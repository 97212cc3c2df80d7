// The event each exit status is reported as (res/Events.inc): its ID and type, and the insertion strings.
#pragma once

#include "helper/OutcomeRecord.h"
#include "platform/EventLog.h"
#include "res/ExitCodes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// What the event source's registration says it reports: error, warning and information.
inline constexpr std::uint32_t kEventTypesSupported = 7;

inline constexpr std::uint32_t kRunEventIdBase = 1000;

struct RunEventKind {
  std::uint32_t id;  // 1000 + the exit status
  EventType type;
};

namespace event_types {
inline constexpr EventType eventTypeINFORMATION = EventType::Information;
inline constexpr EventType eventTypeWARNING = EventType::Warning;
inline constexpr EventType eventTypeERROR = EventType::Error;
}  // namespace event_types

// Every exit status's event, from res/Events.inc (its texts are in the exe's message table).
inline constexpr RunEventKind kRunEvents[] = {
#define QUILLON_EVENT_DETAILS(text)
#define QUILLON_EVENT(status, type, text) {kRunEventIdBase + (status), event_types::eventType##type},
#include "res/Events.inc"
#undef QUILLON_EVENT
#undef QUILLON_EVENT_DETAILS
};

// The event of an exit status; an exit status the list lacks is reported as an error with its own ID.
inline RunEventKind runEventKind(ToolExitCode code) {
  const std::uint32_t id = kRunEventIdBase + static_cast<std::uint32_t>(code);
  for (const RunEventKind& kind : kRunEvents) {
    if (kind.id == id) return kind;
  }
  return {id, EventType::Error};
}

// The insertion strings %1 to %5: the old agent's version, the new agent's version, the destination server,
// the run log's path, the installer logs' folder; "-" for each that the run does not know.
std::vector<std::u16string> runEventStrings(const RunOutcome& run, const std::u16string& runLog,
                                            const std::u16string& installerLogFolder);

}  // namespace quillon
