// Linux body of platform/Com.h: no COM here.
#include "platform/Com.h"

namespace quillon {

void initializeCom() {}
void uninitializeCom() {}

}  // namespace quillon
