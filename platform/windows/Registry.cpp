// Windows body of platform/Registry.h: the system registry.
#include "platform/Registry.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

namespace {

REGSAM viewFlag(KeyView view) { return view == KeyView::Bits32 ? KEY_WOW64_32KEY : 0; }

}  // namespace

void closeRegistryKey(void* handle) { RegCloseKey(static_cast<HKEY>(handle)); }
void closeWritableRegistryKey(void* handle) { RegCloseKey(static_cast<HKEY>(handle)); }

int RegistryKey::open(const char16_t* subkey, KeyView view) {
  handle_.reset();
  // The agent's key is read without a view flag: the 32-bit product reads the 32-bit view, where a 32-bit
  // agent writes its key.
  HKEY key = nullptr;
  const LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, asWide(subkey), 0, KEY_READ | viewFlag(view), &key);
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

int WritableRegistryKey::create(const char16_t* subkey, KeyView view) {
  handle_.reset();
  // No security attributes: a new key inherits its parent's, which under HKLM\SOFTWARE and HKLM\SYSTEM let
  // only administrators and SYSTEM write.
  HKEY key = nullptr;
  const LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, asWide(subkey), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_SET_VALUE | KEY_QUERY_VALUE | viewFlag(view), nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return static_cast<int>(status);
  handle_.reset(key);
  return 0;
}

int WritableRegistryKey::setValue(const char16_t* name, std::uint32_t type, const std::string& bytes) {
  if (!isOpen()) return ERROR_INVALID_HANDLE;
  return static_cast<int>(RegSetValueExW(static_cast<HKEY>(handle_.get()), asWide(name), 0, type,
                                         reinterpret_cast<const BYTE*>(bytes.data()),
                                         static_cast<DWORD>(bytes.size())));
}

}  // namespace quillon
