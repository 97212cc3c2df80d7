// Windows body of platform/Desktop.h: the flags of the process's window station.
#include "platform/Desktop.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

bool userCanSeeWindows() {
  // The station's handle belongs to the process and is not closed.
  const HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) {
    return true;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace quillon
