// Windows body of platform/ProfileString.h: GetPrivateProfileStringW, except for UTF-8 files.
#include "platform/ProfileString.h"

#include "platform/IniFile.h"
#include "platform/WholeFile.h"
#include "platform/windows/WindowsSupport.h"

#include <string>

namespace quillon {

std::size_t readProfileString(const char16_t* section, const char16_t* key, char16_t* buffer,
                              std::size_t capacity, const boost::filesystem::path& file) {
  // Windows' reader takes a file without a byte-order mark for the ANSI code page, so the UTF-8 that Notepad
  // saves by default would come back as garbage (and a UTF-8 mark is not one it knows everywhere). Those
  // files go through our own reader with the same rules; every other file (and one too large to read whole)
  // is Windows' own reader's. The file is shared with every other program, as Windows' own reader shares it.
  std::string bytes;
  if (capacity > 0 && readWholeFile(file, bytes, Sharing::Shared) && detectIniEncoding(bytes) == IniEncoding::Utf8) {
    return copyIniValue(decodeUnicodeIniText(bytes, IniEncoding::Utf8), section, key, buffer, capacity);
  }
  return GetPrivateProfileStringW(asWide(section), asWide(key), L"", asWide(buffer), static_cast<DWORD>(capacity),
                                  file.wstring().c_str());
}

}  // namespace quillon
