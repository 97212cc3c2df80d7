// Windows body of platform/ProfileString.h: GetPrivateProfileStringW, except for UTF-8 files.
#include "platform/ProfileString.h"

#include "platform/IniFile.h"
#include "platform/windows/WindowsSupport.h"

#include <cstdint>
#include <string>

namespace quillon {
namespace {

constexpr std::uint64_t kLargestFileRead = 64u << 20;  // larger files are left to GetPrivateProfileStringW

// The whole file, shared with every other program as Windows' own reader shares it; false when it cannot be
// opened or read.
bool readWholeFile(const boost::filesystem::path& file, std::string& bytes) {
  const ManagedKernelHandle handle(CreateFileW(file.wstring().c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handle.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > kLargestFileRead) {
    return false;
  }
  bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!ReadFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return false;
  bytes.resize(read);
  return true;
}

}  // namespace

std::size_t readProfileString(const char16_t* section, const char16_t* key, char16_t* buffer,
                              std::size_t capacity, const boost::filesystem::path& file) {
  // Windows' reader takes a file without a byte-order mark for the ANSI code page, so the UTF-8 that Notepad
  // saves by default would come back as garbage (and a UTF-8 mark is not one it knows everywhere). Those
  // files go through our own reader with the same rules; every other file is Windows' own reader's.
  std::string bytes;
  if (capacity > 0 && readWholeFile(file, bytes) && detectIniEncoding(bytes) == IniEncoding::Utf8) {
    return copyIniValue(decodeUnicodeIniText(bytes, IniEncoding::Utf8), section, key, buffer, capacity);
  }
  return GetPrivateProfileStringW(asWide(section), asWide(key), L"", asWide(buffer), static_cast<DWORD>(capacity),
                                  file.wstring().c_str());
}

}  // namespace quillon
