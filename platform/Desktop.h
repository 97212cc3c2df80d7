// Whether anyone can see a window of this process. A software distribution starts programs as SYSTEM in the
// services' session, whose desktop nobody ever sees: a window shown there waits for an answer that never comes.
#pragma once

namespace quillon {

// Windows: the process's window station is a visible one (WSF_VISIBLE: the interactive WinSta0 of a session),
// not one of the services' stations; where that cannot be told, true (the windows are shown, as always).
// Linux stand-in: the environment variable QUILLON_WINDOW_STATION names the station the process runs in;
// unset, empty or "WinSta0" (in any case) is the visible one, any other name one that nobody sees.
bool userCanSeeWindows();

}  // namespace quillon
