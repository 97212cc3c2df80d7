// The machine-wide marker that tells one running copy of the tool from a second one: a named mutex on
// Windows, a lock file on Linux. It is created-or-found in one step, is visible to every user of the
// machine, and vanishes when the last process holding it ends, however it ends.
#pragma once

namespace quillon {

// A Win32 HANDLE on Windows; an opaque value on Linux. Null means no handle.
using InstanceHandle = void*;

struct InstanceMarker {
  InstanceHandle handle = nullptr;  // null when the marker could not be created or opened
  bool existed = false;             // another holder had it before this call
  int error = 0;                    // the platform's error code when handle is null
};

InstanceMarker createInstanceMarker(const char16_t* name);

// Releases this process's hold; the marker itself lives on while another process holds it.
void closeInstanceHandle(InstanceHandle handle);

// Whether another process holds the machine-wide mutex `name` at this moment (the Windows Installer's, while
// an installation runs). It is looked at without being kept. Linux: whether a file of that name stands in
// the markers' folder, the installer stand-in's sign of another installation.
bool isMutexHeldElsewhere(const char16_t* name);

}  // namespace quillon
