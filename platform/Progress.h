// What the user sees of a run between the confirmation and the closing box, and how they stop it while
// stopping is harmless. Windows: a small window of the tool's own on the one user-interface thread, kept
// painted and answering by the calls below (there is no message loop of the application's own). Linux: a
// line on the terminal. Both record each step in the UI transcript.
//
// Every call is cheap and safe without a window: the tests, quillon-fetch and the check program reach the
// download and the lookup without one, and then nothing is shown and nothing is ever cancelled.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace quillon {

enum class ProgressStep {
  Connecting,    // the lookup and the start of the download: no bytes yet
  Downloading,   // the package arriving (showDownloaded)
  Retrying,      // a pause before a retry (waitBeforeRetry)
  Uninstalling,  // the old agent's uninstall: from here on the run cannot be cancelled
  Pausing,       // the pause between the uninstall and the install
  Installing,    // the new agent's install
};

// Shows the step (opening the progress on its first call).
void showProgressStep(ProgressStep step);

// The package's bytes so far, and its whole length where the server announced one.
void showDownloaded(std::uint64_t received, std::optional<std::uint64_t> total);

// Waits `pause` before a retry, showing the seconds left. False, at once, when the user cancels meanwhile.
bool waitBeforeRetry(std::chrono::milliseconds pause);

// True once the user has asked to stop the run (and stopping is still allowed). Called between reads, it also
// keeps the window painted and answering.
bool cancelRequested();

// Closes the progress, before any box of the flow appears. Nothing happens when none is open.
void closeProgress();

}  // namespace quillon
