// Windows body of platform/ProfileString.h.
#include "platform/ProfileString.h"

#include "platform/windows/WindowsSupport.h"

namespace quillon {

std::size_t readProfileString(const char16_t* section, const char16_t* key, char16_t* buffer,
                              std::size_t capacity, const boost::filesystem::path& file) {
  return GetPrivateProfileStringW(asWide(section), asWide(key), L"", asWide(buffer), static_cast<DWORD>(capacity),
                                  file.wstring().c_str());
}

}  // namespace quillon
