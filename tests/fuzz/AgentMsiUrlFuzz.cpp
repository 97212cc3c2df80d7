// The AGENT_MSI_URL search against the standard library's regular expressions, the searches it replaces.
// std::regex recurses per character, so it is asked only about texts short enough for it; longer texts are
// searched for crashes, hangs and results that point outside the script.
#include "helper/AgentMsiUrl.h"
#include "tests/fuzz/FuzzInput.h"

#include <regex>

using namespace quillon;
using namespace quillon::fuzz;

namespace {

constexpr std::size_t kOracleLimit = 256;

bool endsLine(char16_t c) { return c == u'\n' || c == u'\r'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string script = textOf(data, size);
  const std::optional<std::u16string_view> path = findAgentMsiPath(script);

  std::size_t offset = 0;
  if (path) {
    offset = static_cast<std::size_t>(path->data() - script.data());
    check(offset >= 1 && offset + path->size() < script.size(), "the path lies inside the script", script);
    check(!path->empty(), "the path is not empty", script);
    check(script[offset - 1] == u'\'' && script[offset + path->size()] == u'\'', "the path stands between apostrophes",
          script);
    for (const char16_t c : *path) check(!endsLine(c), "the path stays on one line", script);
  }
  if (script.size() > kOracleLimit) return 0;

  // libstdc++ ends a line for "." at U+2028 and U+2029 too; the tool's search takes them as ordinary
  // characters, as the Windows build's library does, so the oracle sees them as ordinary letters.
  std::wstring wide(script.begin(), script.end());
  for (wchar_t& c : wide) {
    if (c == 0x2028 || c == 0x2029) c = L'x';
  }
  static const std::wregex key(L"AGENT_MSI_URL *= *'.+'");
  static const std::wregex value(L"'.+'");
  std::wsmatch keyMatch;
  const bool found = std::regex_search(wide, keyMatch, key);
  check(found == path.has_value(), found ? "the search misses a match" : "the search finds what is no match", script);
  if (!found) return 0;

  const std::wstring matched = keyMatch.str();
  std::wsmatch valueMatch;
  check(std::regex_search(matched, valueMatch, value), "the value pattern matches within the key's match", script);
  const auto expectedOffset = static_cast<std::size_t>(keyMatch.position() + valueMatch.position() + 1);
  const auto expectedLength = static_cast<std::size_t>(valueMatch.length() - 2);
  check(offset == expectedOffset && path->size() == expectedLength, "the path is the regular expressions' path",
        script);
  return 0;
}
