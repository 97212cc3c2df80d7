// The product's body of platform/TestHooks.h: no hook, and no variable read.
#include "platform/TestHooks.h"

namespace quillon {

std::optional<std::chrono::seconds> testRetrySeconds() { return std::nullopt; }

std::optional<std::chrono::seconds> testInstallerBusySeconds() { return std::nullopt; }

std::u16string uiTranscriptFile() { return {}; }

void testKillPoint(const char16_t*) {}

}  // namespace quillon
