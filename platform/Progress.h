// What the user sees of a run between the confirmation and the closing box, and how they stop it while
// stopping is harmless. Windows: a small window of the tool's own on the one user-interface thread, kept
// painted and answering by the calls below (there is no message loop of the application's own). Linux: a
// line on the terminal, and Ctrl+C as the Cancel button. Both record each step in the UI transcript.
//
// Only the flow opens the progress (openProgress). Every other call is cheap and safe without it: the tests,
// quillon-fetch and the check program reach the download and the lookup without one, and then nothing is
// shown, nothing is ever cancelled and the waits are plain waits.
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

// Opens the progress on the Connecting step (the flow, once the user has said to go ahead). Nothing happens
// when it is open already, nor in a run of the quiet mode (platform/UiMode.h), which shows no window.
void openProgress();

// Shows the step. Uninstalling ends the time in which the user can cancel, for the rest of the run.
void showProgressStep(ProgressStep step);

// The package's bytes so far, and its whole length where the server announced one (shown as the Downloading
// step). Called for every piece: the display follows a few times a second, so a fast download is not slowed.
void showDownloaded(std::uint64_t received, std::optional<std::uint64_t> total);

// Waits `pause` before a retry, showing the seconds left. False, at once, when the user cancels meanwhile.
bool waitBeforeRetry(std::chrono::milliseconds pause);

// Waits `pause` on the step shown, keeping the window painted and answering; it cannot be cancelled (the
// pauses of the replacement).
void waitKeepingProgress(std::chrono::milliseconds pause);

// True once the user has asked to stop the run while stopping was still allowed (and from then on, while the
// progress is open). Called between reads, it also keeps the window painted and answering.
bool cancelRequested();

// Closes the progress, before any box of the flow appears (showMessageBox closes it itself). Nothing happens
// when none is open.
void closeProgress();

}  // namespace quillon
