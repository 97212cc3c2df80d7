// Windows body of platform/Registry.h: the system registry.
#include "platform/Registry.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

void closeRegistryKey(void* handle) { RegCloseKey(static_cast<HKEY>(handle)); }

int RegistryKey::open(const char16_t* subkey) {
  handle_.reset();
  // No KEY_WOW64_* flag: the 32-bit product reads the 32-bit view, where a 32-bit agent writes its key.
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, asWide(subkey), 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) return static_cast<int>(status);
  handle_.reset(key);
  return 0;
}

int RegistryKey::queryValue(const char16_t* name, std::uint32_t* type, void* data, std::uint32_t* byteCount) const {
  DWORD valueType = REG_NONE;
  DWORD size = *byteCount;
  const LONG status = RegQueryValueExW(static_cast<HKEY>(handle_.get()), asWide(name), nullptr, &valueType,
                                       static_cast<BYTE*>(data), &size);
  *type = valueType;
  *byteCount = size;
  return static_cast<int>(status);
}

}  // namespace quillon
