// The package download without a caller who keeps the file held (the platform bodies are in windows/ and
// linux/).
#include "helper/Helper.h"
#include "helper/PackageFile.h"

bool Helper::downloadFile(const char16_t* url, const char16_t* path) {
  quillon::PackageFile package;
  return downloadFile(url, path, package);
}
