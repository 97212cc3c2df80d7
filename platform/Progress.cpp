// The platform-neutral part of platform/Progress.h: where the run is, what that shows, how often the display
// follows, when the user may cancel, and the UI transcript's progress lines. The display itself is per OS
// (platform/ProgressDisplay.h).
#include "platform/ProgressDisplay.h"

#include "platform/StringTable.h"
#include "platform/UiMode.h"
#include "platform/UiTranscript.h"
#include "platform/Text.h"
#include "res/resource.h"

#include <algorithm>
#include <thread>

namespace quillon {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A few redraws a second are enough for the eye; a download hands over thousands of pieces a second.
constexpr milliseconds kRedrawInterval{250};
// How long a busy step (the download's loop) may leave the window without answering the user.
constexpr milliseconds kServeInterval{50};
// The IDCANCEL a cancel is recorded with in the transcript, as the end code of a dialog's Cancel.
constexpr int kCancelButton = 2;

std::u16string catalogueText(unsigned id) {
  char16_t text[256];
  loadString(id, text, 256);
  return text;
}

unsigned stepTextId(ProgressStep step) {
  switch (step) {
    case ProgressStep::Connecting: return IDS_PROGRESS_CONNECTING;
    case ProgressStep::Downloading: return IDS_PROGRESS_DOWNLOADING;
    case ProgressStep::Retrying: return IDS_PROGRESS_RETRYING;
    case ProgressStep::Uninstalling: return IDS_PROGRESS_UNINSTALLING;
    case ProgressStep::Pausing: return IDS_PROGRESS_PAUSING;
    case ProgressStep::Installing: break;
  }
  return IDS_PROGRESS_INSTALLING;
}

// The steps that change the PC, or lie between two that do: once one has begun, the run must go to its end.
bool changesThePc(ProgressStep step) {
  return step == ProgressStep::Uninstalling || step == ProgressStep::Pausing || step == ProgressStep::Installing;
}

struct Progress {
  bool open = false;
  ProgressState state;  // its `cancelling` stays set, once the user has cancelled, while the progress is open
  std::u16string caption;
  Clock::time_point lastDrawn;
  Clock::time_point lastServed;
};

Progress progress;

void draw() {
  showOnProgressDisplay(describeProgress(progress.state));
  progress.lastDrawn = Clock::now();
}

// One transcript line per step shown, and one for a cancel, with the step's text.
void record(int button) {
  recordUi("progress", progress.caption, catalogueText(stepTextId(progress.state.step)), 0, button);
}

// The cancel rule, for both displays, which only report the user's press: a press stops the run while
// stopping is harmless (before the uninstall) and the run is not stopping already. A press that does not
// count is dropped, never kept for later.
void noteCancelPress() {
  if (!takeCancelPress() || !progress.state.cancellable || progress.state.cancelling) return;
  progress.state.cancelling = true;
  record(kCancelButton);
  draw();
}

// Lets the display answer the user for `pause`; a cancel ends the pause early.
void serve(milliseconds pause) {
  serveProgressDisplay(pause);
  progress.lastServed = Clock::now();
  noteCancelPress();
}

milliseconds left(Clock::time_point deadline) {
  return std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
}

}  // namespace

std::u16string formatMegabytes(std::uint64_t bytes) {
  // Tenths of a megabyte (2^20 bytes), rounded down so that a package never shows as whole before it is.
  const std::uint64_t tenths = bytes * 10 / (1024 * 1024);
  return formatText(u"%u.%u MB", {static_cast<unsigned long>(tenths / 10), static_cast<unsigned>(tenths % 10)});
}

ProgressView describeProgress(const ProgressState& state) {
  ProgressView view;
  view.step = catalogueText(state.cancelling ? IDS_PROGRESS_CANCELLING : stepTextId(state.step));
  view.cancellable = state.cancellable && !state.cancelling;
  switch (state.step) {
    case ProgressStep::Downloading:
      if (state.total && *state.total > 0) {
        const std::uint64_t shown = std::min(state.received, *state.total);
        view.percent = static_cast<int>(shown * 100 / *state.total);
        view.detail = formatText(catalogueText(IDS_PROGRESS_RECEIVED_OF_TOTAL),
                                 {formatMegabytes(state.received), formatMegabytes(*state.total)});
      } else {
        view.detail = formatText(catalogueText(IDS_PROGRESS_RECEIVED), {formatMegabytes(state.received)});
      }
      break;
    case ProgressStep::Retrying:
      view.detail = formatText(catalogueText(IDS_PROGRESS_SECONDS_LEFT), {state.secondsLeft});
      break;
    default:
      if (changesThePc(state.step)) view.detail = catalogueText(IDS_PROGRESS_DO_NOT_TURN_OFF);
  }
  return view;
}

void openProgress() {
  // The quiet mode shows no window of any kind; the passive mode shows this one (platform/UiMode.h).
  if (progress.open || uiMode() == UiMode::Quiet) return;
  progress.state = ProgressState();
  progress.caption = catalogueText(IDS_TOOL_CAPTION);
  if (!openProgressDisplay(progress.caption, catalogueText(IDS_PROGRESS_CANCEL))) return;
  progress.open = true;
  record(0);
  draw();
  serve(milliseconds(0));
}

void showProgressStep(ProgressStep step) {
  if (!progress.open) return;
  // Decided before the display answers the user again: a Cancel pressed from now on finds it disabled.
  if (changesThePc(step)) progress.state.cancellable = false;
  const bool changed = step != progress.state.step;
  progress.state.step = step;
  if (changed) record(0);
  draw();
  serve(milliseconds(0));
}

void showDownloaded(std::uint64_t received, std::optional<std::uint64_t> total) {
  if (!progress.open) return;
  progress.state.received = received;
  progress.state.total = total;
  if (progress.state.step != ProgressStep::Downloading) return showProgressStep(ProgressStep::Downloading);
  const Clock::time_point now = Clock::now();
  if (now - progress.lastDrawn >= kRedrawInterval || (total && received >= *total)) draw();
  if (now - progress.lastServed >= kServeInterval) serve(milliseconds(0));
}

bool waitBeforeRetry(milliseconds pause) {
  if (!progress.open) {
    std::this_thread::sleep_for(pause);
    return true;
  }
  if (progress.state.cancelling) return false;
  const Clock::time_point deadline = Clock::now() + pause;
  progress.state.secondsLeft = static_cast<unsigned>((pause.count() + 999) / 1000);
  showProgressStep(ProgressStep::Retrying);
  while (!progress.state.cancelling && left(deadline).count() > 0) {
    // The seconds left are redrawn as each whole second passes.
    const milliseconds remaining = left(deadline);
    progress.state.secondsLeft = static_cast<unsigned>((remaining.count() + 999) / 1000);
    draw();
    serve(std::min(remaining, milliseconds(remaining.count() % 1000 == 0 ? 1000 : remaining.count() % 1000)));
  }
  return !progress.state.cancelling;
}

void waitKeepingProgress(milliseconds pause) {
  if (!progress.open) {
    std::this_thread::sleep_for(pause);
    return;
  }
  const Clock::time_point deadline = Clock::now() + pause;
  for (milliseconds remaining = pause; remaining.count() > 0; remaining = left(deadline)) serve(remaining);
}

bool cancelRequested() {
  if (!progress.open) return false;
  if (Clock::now() - progress.lastServed >= kServeInterval) {
    serve(milliseconds(0));
  } else {
    noteCancelPress();
  }
  return progress.state.cancelling;
}

void closeProgress() {
  if (!progress.open) return;
  progress.open = false;
  closeProgressDisplay();
}

}  // namespace quillon
