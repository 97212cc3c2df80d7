// Windows body of platform/Com.h.
#include "platform/Com.h"

#include "platform/windows/WindowsSupport.h"

#include <objbase.h>

namespace quillon {

void initializeCom() { CoInitialize(nullptr); }
void uninitializeCom() { CoUninitialize(); }

}  // namespace quillon
