// The process environment.
#pragma once

#include <string>

namespace quillon {

// The value of an environment variable; empty when it is not set.
std::u16string environmentVariable(const char16_t* name);

}  // namespace quillon
