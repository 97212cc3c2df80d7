// Finding the package's path in the distribution server's configuration script.
#pragma once

#include <optional>
#include <string_view>

namespace quillon {

// The value of the script's first AGENT_MSI_URL assignment, exactly as the ECMAScript searches
// /AGENT_MSI_URL *= *'.+'/ and then /'.+'/ in its match find it: the key (case-sensitive, anywhere on a
// line), U+0020 spaces only around "=", and everything from the first apostrophe after "=" up to the last
// apostrophe on that line, at least one character; CR and LF end a line, every other character (U+2028
// included) is ordinary. Nothing when no assignment matches. Linear time, no recursion: a minified script of
// megabytes on one line is fine. The result points into `script`.
std::optional<std::u16string_view> findAgentMsiPath(std::u16string_view script);

}  // namespace quillon
