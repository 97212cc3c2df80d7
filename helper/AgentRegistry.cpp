// The installed agent as its installation left it in the registry: upgrade code and version.
#include "helper/BuildConstants.h"
#include "helper/Helper.h"
#include "platform/Text.h"

#include <cstdint>
#include <optional>

using namespace quillon;

namespace {

constexpr std::size_t kUpgradeCodeCapacity = 64;     // 63 characters and the terminator
constexpr std::size_t kProductVersionCapacity = 32;  // 31 characters and the terminator

bool isWhiteSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// A decimal number at the start of a version piece: leading white space, one optional sign, the digits
// up to the first other character. Nothing when there is no digit or the number leaves the 32-bit range.
std::optional<int> leadingNumber(std::u16string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && isWhiteSpace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == u'+' || piece[i] == u'-')) negative = piece[i++] == u'-';
  const std::int64_t limit = negative ? std::int64_t{2147483648} : std::int64_t{2147483647};
  std::int64_t value = 0;
  bool sawDigit = false;
  for (; i < piece.size() && piece[i] >= u'0' && piece[i] <= u'9'; ++i) {
    sawDigit = true;
    value = value * 10 + (piece[i] - u'0');
    if (value > limit) return std::nullopt;  // checked per digit, so a long run of digits cannot overflow
  }
  if (!sawDigit) return std::nullopt;
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

int Helper::readRegistryString(const RegistryKey& key, const char16_t* valueName, char16_t* buffer,
                               std::size_t capacity) {
  std::uint32_t type = kRegNone;
  std::uint32_t byteCount = static_cast<std::uint32_t>(capacity * sizeof(char16_t));
  int status = key.queryValue(valueName, &type, buffer, &byteCount);
  if (status == 0 && type != kRegSz && type != kRegExpandSz) status = kErrorInvalidData;
  if (status == 0 && byteCount == 0) {
    if (capacity > 0) buffer[0] = 0;
    return 0;
  }
  // A value stored without its terminator (or of an odd size) is refused rather than read past its end.
  if (status == 0 && (byteCount % 2 != 0 || buffer[byteCount / 2 - 1] != 0)) status = kErrorInvalidData;
  if (status != 0 && capacity > 0) buffer[0] = 0;  // a failed read leaves no half text behind
  return status;
}

bool Helper::isAgentInstalled() {
  RegistryKey key;
  if (key.open(AgentRegistryKey) != 0) return false;
  char16_t upgradeCode[kUpgradeCodeCapacity];
  if (readRegistryString(key, u"UpgradeCode", upgradeCode, kUpgradeCodeCapacity) != 0) return false;
  // Only A-Z fold to a-z: the code is compared as the agent's installation writes it, nothing else is
  // forgiven (no trimming, no other letters).
  return quillon::equalsIgnoringAsciiCase(upgradeCode, AgentUpgradeCode);
}

bool Helper::getAgentVersion(AgentVersion& version) {
  RegistryKey key;
  if (key.open(AgentRegistryKey) != 0) return false;
  char16_t text[kProductVersionCapacity];
  if (readRegistryString(key, u"ProductVersion", text, kProductVersionCapacity) != 0) return false;
  return parseVersion(text, version);
}

bool Helper::parseVersion(const std::u16string& text, AgentVersion& version) {
  const std::vector<std::u16string> pieces = splitVersion(text);
  if (pieces.size() < 3) return false;
  int* const fields[] = {&version.major, &version.minor, &version.build};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::optional<int> number = leadingNumber(pieces[i]);
    if (!number) return false;
    *fields[i] = *number;  // stored at once: a later bad piece leaves the earlier fields written
  }
  return true;
}

std::vector<std::u16string> Helper::splitVersion(const std::u16string& text) {
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(u'.', start);
    if (end == std::u16string::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}
