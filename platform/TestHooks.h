// What the tests and the demo may tell the tool through its environment, and the product never reads: the
// tool runs elevated, and an elevated process's environment comes from the user's profile
// (HKCU\Environment), which any program of that user can write. So each hook has two bodies, compiled per
// executable with the server's addresses (helper/CMakeLists.txt): the product's (platform/product/) has
// none, and its exe holds not even the hooks' names; the test and demo builds' (platform/test/) read them
// from the environment.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace quillon {

// The bound of the lookup's and the download's tries, shortened for the tests (helper/Retry.h).
std::optional<std::chrono::seconds> testRetrySeconds();

// The bound of a wait for another installation, shortened for the tests (helper/InstallerBusy.h).
std::optional<std::chrono::seconds> testInstallerBusySeconds();

// The file the UI transcript goes to (platform/UiTranscript.h); empty for none.
std::u16string uiTranscriptFile();

// A point of the replacement where the test builds may end the tool's process at once, as a kill, a crash or
// a power cut would (QUILLON_TEST_KILL_AT names the point: "after-uninstall", "pause", "after-install"). It
// returns only where the process is not to end there.
void testKillPoint(const char16_t* point);

}  // namespace quillon
