// Linux body of platform/EventLog.h: the event file that QUILLON_EVENT_LOG_FILE names, one JSON line per
// event, appended with a single write so that lines of several processes never mix.
#include "platform/EventLog.h"

#include "platform/PlatformFile.h"
#include "platform/UiTranscript.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace quillon {
namespace {

const char* eventTypeName(EventType type) {
  switch (type) {
    case EventType::Error: return "ERROR";
    case EventType::Warning: return "WARNING";
    case EventType::Information: break;
  }
  return "INFORMATION";
}

}  // namespace

int reportEvent(EventType type, std::uint32_t eventId, const std::vector<std::u16string>& strings) {
  const char* file = std::getenv("QUILLON_EVENT_LOG_FILE");
  if (file == nullptr || *file == 0) return 0;  // no event log on this machine
  std::string line = "{\"source\":" + jsonString(kEventSourceName) + ",\"type\":\"" + eventTypeName(type) +
                     "\",\"id\":" + std::to_string(eventId) + ",\"strings\":[";
  for (std::size_t i = 0; i < strings.size(); ++i) line += (i > 0 ? "," : "") + jsonString(strings[i]);
  line += "]}\n";
  const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  const ManagedPlatformFile held(fd);
  const ssize_t written = write(fd, line.data(), line.size());
  if (written < 0) return errno;
  return static_cast<std::size_t>(written) == line.size() ? 0 : EIO;
}

}  // namespace quillon
