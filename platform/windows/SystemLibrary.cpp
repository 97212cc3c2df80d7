// Windows body of platform/windows/SystemLibrary.h.
#include "platform/windows/SystemLibrary.h"

#include <delayimp.h>

namespace quillon {

namespace {

// Whether the process's DLL search is the system folder alone (SetDefaultDllDirectories worked), so that
// LoadLibraryEx knows the search flags.
bool searchRestricted = false;

// Every delay-imported DLL is loaded here rather than by the delay-load helper's own search.
FARPROC WINAPI beforeDelayLoad(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;
  return reinterpret_cast<FARPROC>(loadSystemLibrary(info->szDll));
}

}  // namespace

void restrictDllSearchToSystemFolder() {
  // Looked up, not imported: Windows 7 has it only with an update.
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  searchRestricted = setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");  // the current folder is never searched, with or without the call above
  __pfnDliNotifyHook2 = beforeDelayLoad;
}

HMODULE loadSystemLibrary(const char* name) {
  // By name: comctl32.dll then comes from the manifest's side-by-side assembly, every other one from the
  // system folder, and so do the DLLs each of them loads.
  if (searchRestricted) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the search flags: comctl32 by name (its assembly is found only so; the current folder is out
  // of the search), any other by its full path in the system folder, its own dependencies searched from
  // there first.
  if (lstrcmpiA(name, "comctl32.dll") == 0) return LoadLibraryA(name);
  char path[MAX_PATH];
  const UINT folder = GetSystemDirectoryA(path, MAX_PATH);
  if (folder == 0 || folder + 1 + lstrlenA(name) >= MAX_PATH) return nullptr;
  lstrcatA(path, "\\");
  lstrcatA(path, name);
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace quillon
