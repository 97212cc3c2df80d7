// Windows entry point of the tool (GUI subsystem): the framework runs the application object.
#include "platform/Framework.h"
#include "platform/windows/WindowsSupport.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunApplication(); }
