// Windows body of platform/EventLog.h: the Application log through the event source's handle.
#include "platform/EventLog.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {
namespace {

void deregister(HANDLE source) { DeregisterEventSource(source); }
using ManagedEventSource = ManagedResource<HANDLE, deregister>;

}  // namespace

int reportEvent(EventType type, std::uint32_t eventId, const std::vector<std::u16string>& strings) {
  const ManagedEventSource source(RegisterEventSourceW(nullptr, asWide(kEventSourceName)));
  if (source.get() == nullptr) return static_cast<int>(GetLastError());
  std::vector<LPCWSTR> texts;
  for (const std::u16string& text : strings) texts.push_back(asWide(text.c_str()));
  if (!ReportEventW(source.get(), static_cast<WORD>(type), 0, eventId, nullptr, static_cast<WORD>(texts.size()), 0,
                    texts.data(), nullptr)) {
    return static_cast<int>(GetLastError());
  }
  return 0;
}

}  // namespace quillon
