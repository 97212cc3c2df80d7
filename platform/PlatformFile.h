// An open file as the platform's own calls have it, held where a neutral header keeps one: a descriptor
// (Linux) or a HANDLE (Windows), as an integer; -1 (INVALID_HANDLE_VALUE on Windows) when none is open.
#pragma once

#include "platform/ManagedResource.h"

#include <cstdint>

namespace quillon {

// Closes the file; one body per platform.
void closePlatformFile(std::intptr_t handle);

using ManagedPlatformFile = ManagedResource<std::intptr_t, closePlatformFile, -1>;

}  // namespace quillon
