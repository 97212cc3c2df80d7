#include "helper/InstallerBusy.h"

#include "helper/BuildConstants.h"
#include "platform/InstanceMarker.h"
#include "platform/Progress.h"
#include "platform/TestHooks.h"

#include <algorithm>

namespace quillon {

namespace {

constexpr std::chrono::milliseconds kPoll{500};

}  // namespace

InstallerBusyBound installerBusyBound() {
  std::chrono::milliseconds limit = kInstallerBusyLimit;
  std::chrono::milliseconds pause = kInstallerBusyRetryPause;
  if (const std::optional<std::chrono::seconds> test = testInstallerBusySeconds()) {
    limit = std::min<std::chrono::milliseconds>(limit, *test);
    pause = std::max<std::chrono::milliseconds>(std::chrono::seconds(1), limit / 4);
  }
  return {std::chrono::steady_clock::now() + limit, pause};
}

std::optional<unsigned> waitWhileInstallerBusy(const InstallerBusyBound& bound) {
  // Looked at, never held: an installation that starts meanwhile must not meet this tool on its mutex.
  if (!isMutexHeldElsewhere(kInstallerMutexName)) return std::nullopt;
  const auto start = std::chrono::steady_clock::now();
  do {
    waitKeepingProgress(kPoll);
  } while (std::chrono::steady_clock::now() < bound.deadline && isMutexHeldElsewhere(kInstallerMutexName));
  const auto waited = std::chrono::steady_clock::now() - start;
  return static_cast<unsigned>(std::chrono::duration_cast<std::chrono::seconds>(waited + kPoll / 2).count());
}

}  // namespace quillon
