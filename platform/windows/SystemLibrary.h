// Windows only: where the tool's process takes its DLLs from. The tool runs elevated from folders its
// users can write (Downloads, the desktop, a share), so no DLL may come from its own folder or the current
// folder. Only DLLs that Windows always takes from the system folder (the KnownDLLs) are imported
// statically; every other one (msi, winhttp, comctl32, bcrypt, crypt32) is delay-loaded and comes from the system
// folder alone, as does whatever those load in turn.
#pragma once

#include "platform/windows/WindowsSupport.h"

namespace quillon {

// Restricts every later DLL load of the process to the system folder (SetDefaultDllDirectories), or,
// where Windows lacks that call (Windows 7 without its update), at least takes the current folder out of
// the search. Installs the delay-load hook that loads the delay-imported DLLs with loadSystemLibrary. The
// entry point calls it before anything else runs, the C runtime's start-up included.
void restrictDllSearchToSystemFolder();

// The DLL of this name (such as "msi.dll") from the system folder, loaded once for the life of the process;
// comctl32.dll through the manifest's side-by-side assembly (version 6). Before it, the DLLs it is known to
// load by name later (a delayed import of its own, LoadLibrary), each from the system folder likewise. Null
// when it or one of those cannot be loaded: the operation that needs it then fails as it would without the
// DLL's help, before any delay-loaded function of the DLL is called (a call would end the process).
HMODULE loadSystemLibrary(const char* name);

}  // namespace quillon
