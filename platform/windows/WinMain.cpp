// Windows entry points of the tool (GUI subsystem) and of its server check (console subsystem). The process
// starts in quillonStart or quillonConsoleStart (the linker's entry point), which restricts where DLLs come
// from before any other code of the program runs, the C runtime's start-up and the constructors of the
// globals included; the runtime then calls wWinMain (a console program's through the runtime's own wmain).
#include "platform/CommandLine.h"
#include "platform/Framework.h"
#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

extern "C" int WinMainCRTStartup();
extern "C" int mainCRTStartup();

// Without the stack protector: the runtime's start-up sets the protector's guard value, which these frames
// outlive.
extern "C" __attribute__((no_stack_protector)) int quillonStart() {
  quillon::restrictDllSearchToSystemFolder();
  return WinMainCRTStartup();
}

extern "C" __attribute__((no_stack_protector)) int quillonConsoleStart() {
  quillon::restrictDllSearchToSystemFolder();
  return mainCRTStartup();
}

// The runtime hands over the command line without the program's name.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  return RunApplication(quillon::splitCommandLine(quillon::fromWide(commandLine != nullptr ? commandLine : L"")));
}
