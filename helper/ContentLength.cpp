#include "helper/ContentLength.h"

namespace quillon {

std::optional<std::uint64_t> parseContentLength(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t length = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - u'0');
    if (length > (UINT64_MAX - digit) / 10) return std::nullopt;  // checked before it could wrap
    length = length * 10 + digit;
  }
  return length;
}

}  // namespace quillon
