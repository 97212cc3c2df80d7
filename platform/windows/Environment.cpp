// Windows body of platform/Environment.h.
#include "platform/Environment.h"

#include "platform/windows/WindowsSupport.h"

#include <vector>

namespace quillon {

std::u16string environmentVariable(const char16_t* name) {
  const DWORD size = GetEnvironmentVariableW(asWide(name), nullptr, 0);
  if (size == 0) return {};
  std::vector<wchar_t> value(size);
  const DWORD length = GetEnvironmentVariableW(asWide(name), value.data(), size);
  if (length == 0 || length >= size) return {};
  return fromWide(std::wstring_view(value.data(), length));
}

}  // namespace quillon
