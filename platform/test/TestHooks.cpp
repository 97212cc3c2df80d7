// The test and demo builds' body of platform/TestHooks.h: each hook from an environment variable.
#include "platform/TestHooks.h"

#include "platform/Environment.h"
#include "platform/Process.h"
#include "platform/Text.h"

#include <algorithm>

namespace quillon {
namespace {

// Up to 3 decimal digits; anything else is no hook.
std::optional<std::chrono::seconds> seconds(const char16_t* variable) {
  const std::string text = toUtf8(environmentVariable(variable));
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::chrono::seconds(std::stoi(text));
}

}  // namespace

std::optional<std::chrono::seconds> testRetrySeconds() { return seconds(u"QUILLON_TEST_RETRY_SECONDS"); }

std::optional<std::chrono::seconds> testInstallerBusySeconds() {
  return seconds(u"QUILLON_TEST_INSTALLER_BUSY_SECONDS");
}

std::u16string uiTranscriptFile() { return environmentVariable(u"QUILLON_UI_TRANSCRIPT"); }

void testKillPoint(const char16_t* point) {
  if (environmentVariable(u"QUILLON_TEST_KILL_AT") == point) killCurrentProcess();
}

}  // namespace quillon
