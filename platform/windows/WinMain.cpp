// Windows entry points of the tool (GUI subsystem). The process starts in quillonStart (the linker's entry
// point), which restricts where DLLs come from before any other code of the program runs, the C runtime's
// start-up and the constructors of the globals included; the runtime then calls wWinMain.
#include "platform/Framework.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

extern "C" int WinMainCRTStartup();

// Without the stack protector: the runtime's start-up sets the protector's guard value, which this frame
// outlives.
extern "C" __attribute__((no_stack_protector)) int quillonStart() {
  quillon::restrictDllSearchToSystemFolder();
  return WinMainCRTStartup();
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunApplication(); }
