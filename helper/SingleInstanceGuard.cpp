// The guard against a second running copy of the tool.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "log/LogSite.h"
#include "platform/Text.h"

using namespace quillon;

bool Helper::isAlreadyRunning(InstanceHandle& handle) {
  const InstanceMarker marker = createInstanceMarker(kInstanceMutexName);
  handle = marker.handle;
  if (marker.handle != nullptr) return marker.existed;

  // Without a marker the tool runs unguarded rather than not at all; the log keeps the reason.
  const std::u16string message = formatText(u"CreateMutex Error(%d)", {marker.error});
  WriteLog(logsite::GuardMarkerFailed, message.c_str());
  return false;
}
