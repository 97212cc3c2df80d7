// The AGENT_MSI_URL search, written out by hand: libstdc++'s std::regex recurses per character and overflows
// the stack on a long line, and a backtracking search is quadratic on lines that almost match.
#include "helper/AgentMsiUrl.h"

namespace quillon {

namespace {

constexpr std::u16string_view kKey = u"AGENT_MSI_URL";

bool endsLine(char16_t c) { return c == u'\n' || c == u'\r'; }

std::size_t skipSpaces(std::u16string_view text, std::size_t at) {
  while (at < text.size() && text[at] == u' ') ++at;
  return at;
}

}  // namespace

std::optional<std::u16string_view> findAgentMsiPath(std::u16string_view script) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t key = script.find(kKey, from);
    if (key == std::u16string_view::npos) return std::nullopt;
    from = key + 1;

    // " *= *'" has one way to match at most: the spaces can never be "=" or an apostrophe.
    std::size_t at = skipSpaces(script, key + kKey.size());
    if (at == script.size() || script[at] != u'=') continue;
    at = skipSpaces(script, at + 1);
    if (at == script.size() || script[at] != u'\'') continue;

    // ".+'" is greedy: it runs to the end of the line and gives back characters until an apostrophe follows,
    // and it needs at least one character. So the value ends at the line's last apostrophe that is not the
    // value's first character. The value search of the second expression, /'.+'/ within this match, starts
    // at the same opening apostrophe (the key, spaces and "=" hold none) and ends at the match's end, so it
    // yields this same text between the two apostrophes.
    const std::size_t value = at + 1;
    std::size_t closing = std::u16string_view::npos;
    std::size_t end = value;
    for (; end < script.size() && !endsLine(script[end]); ++end) {
      if (script[end] == u'\'' && end > value) closing = end;
    }
    if (closing != std::u16string_view::npos) return script.substr(value, closing - value);

    // No apostrophe follows on this line, so no later key on it can match either (its opening apostrophe
    // would be one): the search goes on after the line, which keeps it linear.
    from = end;
  }
}

}  // namespace quillon
