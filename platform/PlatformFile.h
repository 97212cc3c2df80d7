// An open file as the platform's own calls have it, held where a neutral header keeps one: a descriptor
// (Linux) or a HANDLE (Windows), as an integer; -1 (INVALID_HANDLE_VALUE on Windows) when none is open.
#pragma once

#include "platform/ManagedResource.h"

#include <cstddef>
#include <cstdint>

namespace quillon {

// Closes the file; one body per platform.
void closePlatformFile(std::intptr_t handle);

using ManagedPlatformFile = ManagedResource<std::intptr_t, closePlatformFile, -1>;

// Writes all `size` bytes at `offset` (the offset goes with the call: no file position is shared between
// calls); false when they could not all be written, as on a full disk.
bool writePlatformFile(std::intptr_t handle, std::uint64_t offset, const char* data, std::size_t size);

// Reads up to `size` bytes at `offset`: the count read, 0 at the end of the file, -1 on a failure.
long long readPlatformFile(std::intptr_t handle, std::uint64_t offset, char* buffer, std::size_t size);

}  // namespace quillon
