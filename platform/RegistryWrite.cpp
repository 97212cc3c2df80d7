// The typed setters of platform/Registry.h's WritableRegistryKey: the bytes RegSetValueExW takes for each
// type, the same on both builds; each platform's body stores them.
#include "platform/Registry.h"

#include "platform/Text.h"

namespace quillon {

int WritableRegistryKey::setString(const char16_t* name, std::u16string_view text) {
  return setValue(name, kRegSz, toUtf16le(text) + std::string(2, '\0'));
}

int WritableRegistryKey::setExpandString(const char16_t* name, std::u16string_view text) {
  return setValue(name, kRegExpandSz, toUtf16le(text) + std::string(2, '\0'));
}

int WritableRegistryKey::setDword(const char16_t* name, std::uint32_t value) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift & 0xFF);
  return setValue(name, kRegDword, bytes);
}

}  // namespace quillon
