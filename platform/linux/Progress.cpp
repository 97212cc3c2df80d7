// Linux body of platform/Progress.h, for now without a terminal line: nothing is shown, nothing is ever
// cancelled, and the pause before a retry is a plain wait.
#include "platform/Progress.h"

#include <thread>

namespace quillon {

void showProgressStep(ProgressStep) {}

void showDownloaded(std::uint64_t, std::optional<std::uint64_t>) {}

bool waitBeforeRetry(std::chrono::milliseconds pause) {
  std::this_thread::sleep_for(pause);
  return true;
}

bool cancelRequested() { return false; }

void closeProgress() {}

}  // namespace quillon
