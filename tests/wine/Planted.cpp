// A DLL or program planted where the elevated tool must never load or start one from: beside the tool, in
// the folder it is started from. Whatever loads or starts it leaves a marker beside it (its own path with
// ".ran" added), so a test can tell which of them ran. As msiexec.exe it exits 0, as a successful
// installer would, so a tool that started it would go on as if it had run the real one.
#include "platform/windows/WindowsSupport.h"

namespace {

void leaveMarker(HMODULE module) {
  wchar_t path[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  lstrcatW(path, L".ran");
  const HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
}

}  // namespace

#ifdef QUILLON_PLANTED_DLL
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) leaveMarker(instance);
  return TRUE;
}
#else
int wmain() {
  leaveMarker(nullptr);
  return 0;
}
#endif
