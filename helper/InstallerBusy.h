// Another installation in progress. The Windows Installer runs one installation at a time: while one runs it
// holds the machine-wide mutex Global\_MSIExecute, and a second msiexec ends at once with 1618
// (ERROR_INSTALL_ALREADY_RUNNING). Windows Update, an Office update or a software-distribution agent may be
// installing at any moment, and after the old agent is gone a 1618 would leave the PC without any agent for
// nothing but timing, so each installer run first waits while another installation is in progress, and the
// install runs again after a 1618, all within a bound.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace quillon {

// The Windows Installer's exit code for "another installation is already in progress".
inline constexpr std::uint32_t kInstallerBusy = 1618;

// How long one installer run (the uninstall, or the install with its reruns) may wait for another
// installation at most: 5 minutes, so no more than 10 minutes in all for one migration. The pause before an
// install runs again after a 1618 is 30 seconds.
inline constexpr std::chrono::seconds kInstallerBusyLimit{300};
inline constexpr std::chrono::seconds kInstallerBusyRetryPause{30};

struct InstallerBusyBound {
  std::chrono::steady_clock::time_point deadline;
  std::chrono::milliseconds pause;  // before an install runs again after a 1618
};

// The bound of an installer run that starts now. The test builds can make the limit shorter, never longer
// (platform/TestHooks.h: QUILLON_TEST_INSTALLER_BUSY_SECONDS, capped at kInstallerBusyLimit; the pause is
// then a quarter of it, at least a second).
InstallerBusyBound installerBusyBound();

// Waits while another installation is in progress, until the deadline at most: the whole seconds waited, or
// nothing when none was in progress.
std::optional<unsigned> waitWhileInstallerBusy(const InstallerBusyBound& bound);

}  // namespace quillon
