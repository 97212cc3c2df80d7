// The run's user-interface mode (platform/UiMode.h): the same on both builds.
#include "platform/UiMode.h"

namespace quillon {
namespace {
UiMode currentMode = UiMode::Full;
}  // namespace

void setUiMode(UiMode mode) { currentMode = mode; }
UiMode uiMode() { return currentMode; }

}  // namespace quillon
