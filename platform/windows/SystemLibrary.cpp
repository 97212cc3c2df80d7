// Windows body of platform/windows/SystemLibrary.h.
#include "platform/windows/SystemLibrary.h"

#include <delayimp.h>

namespace quillon {

namespace {

// Whether the process's DLL search is the system folder alone (SetDefaultDllDirectories worked), so that
// LoadLibraryEx knows the search flags.
bool searchRestricted = false;

HMODULE loadFromSystemFolder(const char* name) {
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

// The DLLs that a DLL of the tool's paths loads by name on its own, through a delayed import or LoadLibrary,
// rather than through its import table: {the DLL, one it loads so}. Windows searches only the system folder
// for them once SetDefaultDllDirectories has run, but Wine's delay-load helper looks beside the program
// first whatever the process asked for, and a secur32.dll planted there ran with the tool's rights (and,
// lacking what WinHTTP wanted of it, left the download hanging). Each is loaded from the system folder before
// the DLL that uses it; a DLL of that name, once loaded, is the one every later load gets. Found in the
// import tables and texts of Wine's builds of these DLLs, with what Windows' own builds delay-load besides;
// every one is in the system folder of Windows 7 and later, and of Wine. No cycles: the loads below recurse.
constexpr struct {
  const char* user;
  const char* loaded;
} kLoadedByName[] = {
    // The download, and the configuration script's proxy road (the PAC engine).
    {"winhttp.dll", "secur32.dll"}, {"winhttp.dll", "sspicli.dll"}, {"winhttp.dll", "crypt32.dll"},
    {"winhttp.dll", "iphlpapi.dll"}, {"winhttp.dll", "dhcpcsvc.dll"}, {"winhttp.dll", "dhcpcsvc6.dll"},
    {"winhttp.dll", "dnsapi.dll"},
    {"winhttp.dll", "jsproxy.dll"},
    {"jsproxy.dll", "jscript.dll"},
    // The sign-in and TLS packages, and the certificates' checks.
    {"secur32.dll", "schannel.dll"}, {"secur32.dll", "crypt32.dll"},
    {"crypt32.dll", "cryptnet.dll"}, {"crypt32.dll", "ncrypt.dll"}, {"crypt32.dll", "rsaenh.dll"},
    {"dhcpcsvc.dll", "iphlpapi.dll"}, {"dnsapi.dll", "netapi32.dll"},
    // The lookup's XMLHTTP object: msxml3 requests through urlmon and WinINet.
    {"msxml6.dll", "msxml3.dll"}, {"msxml3.dll", "wininet.dll"},
    {"wininet.dll", "secur32.dll"}, {"wininet.dll", "crypt32.dll"}, {"wininet.dll", "iphlpapi.dll"},
    {"wininet.dll", "dhcpcsvc.dll"},
    // The windows' themes.
    {"comctl32.dll", "uxtheme.dll"}, {"uxtheme.dll", "msimg32.dll"},
};

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
  // What it will load by name first: a DLL that cannot be loaded fails this load, and so the step that
  // needed it, before anything could look for that DLL elsewhere.
  for (const auto& entry : kLoadedByName) {
    if (lstrcmpiA(entry.user, name) == 0 && loadSystemLibrary(entry.loaded) == nullptr) return nullptr;
  }
  return loadFromSystemFolder(name);
}

}  // namespace quillon
