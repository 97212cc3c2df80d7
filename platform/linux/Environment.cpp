// Linux body of platform/Environment.h.
#include "platform/Environment.h"

#include "platform/Text.h"

#include <cstdlib>

namespace quillon {

std::u16string environmentVariable(const char16_t* name) {
  const char* value = std::getenv(toUtf8(name).c_str());
  return value != nullptr ? fromUtf8(value) : std::u16string();
}

}  // namespace quillon
