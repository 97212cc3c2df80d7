// Inside platform/Progress.h: what the progress shows, made from where the run is by the shared
// platform/Progress.cpp (the same texts and the same pace on both builds), and the display that shows it,
// one body per OS in platform/<os>/Progress.cpp (Windows: the window; Linux: the terminal line and Ctrl+C).
#pragma once

#include "platform/Progress.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

// Where the run is.
struct ProgressState {
  ProgressStep step = ProgressStep::Connecting;
  std::uint64_t received = 0;                 // Downloading
  std::optional<std::uint64_t> total;         // Downloading, when the server announced a length
  unsigned secondsLeft = 0;                   // Retrying
  bool cancellable = true;                    // false from the uninstall on
  bool cancelling = false;                    // the user has cancelled; the run is ending
};

// What the display shows of it.
struct ProgressView {
  std::u16string step;    // what the tool is doing
  std::u16string detail;  // the bytes received, the seconds left, or that the step cannot be stopped
  std::optional<int> percent;  // the bar's position, 0 to 100; nothing: the bar only shows activity
  bool cancellable = true;     // the Cancel button works (Linux: Ctrl+C)
};

ProgressView describeProgress(const ProgressState& state);

// A byte count as the progress shows it: megabytes with one decimal, as in "12.3 MB".
std::u16string formatMegabytes(std::uint64_t bytes);

// --- The display, one body per OS ---------------------------------------------------------------------

// Opens it, showing nothing yet. False when it cannot be opened; the run then goes on without it.
bool openProgressDisplay(const std::u16string& caption, const std::u16string& cancelLabel);

void showOnProgressDisplay(const ProgressView& view);

// Lets the display answer the user for `pause` (zero: what is waiting now), returning early when they press
// Cancel. Windows dispatches the thread's window messages meanwhile; Linux sleeps.
void serveProgressDisplay(std::chrono::milliseconds pause);

// True, once, after the user has pressed Cancel (Windows: the button, Esc or the close button; Linux: Ctrl+C),
// whatever the view showed: whether the press stops the run is platform/Progress.cpp's to decide.
bool takeCancelPress();

void closeProgressDisplay();

}  // namespace quillon
