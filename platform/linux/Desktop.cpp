// Linux body of platform/Desktop.h: the window station the stand-in's environment names.
#include "platform/Desktop.h"

#include "platform/Environment.h"
#include "platform/Text.h"

namespace quillon {

bool userCanSeeWindows() {
  const std::u16string station = environmentVariable(u"QUILLON_WINDOW_STATION");
  return station.empty() || equalsIgnoringAsciiCase(station, u"WinSta0");
}

}  // namespace quillon
