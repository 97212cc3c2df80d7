// Operations whose real bodies are still being built. Until then each reports failure through its result,
// which the flow turns into that step's outcome.
#include "helper/Helper.h"

bool Helper::getDownloadUrl(char16_t*) { return false; }
bool Helper::downloadFile(const char16_t*, const char16_t*) { return false; }
