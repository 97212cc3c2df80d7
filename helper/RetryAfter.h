// The wait a server asks for in its Retry-After header.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace quillon {

// The header's value as a wait from `now`: delta-seconds (digits only; a huge number is taken as a very
// long wait, which the caller caps), or an HTTP date in any of the three forms HTTP allows
// ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"), the wait
// then being the time until that moment, rounded up (0 for a moment past). Blanks around the value are
// ignored; anything else is no wish at all, so nothing.
std::optional<std::chrono::seconds> parseRetryAfter(std::u16string_view text, std::chrono::system_clock::time_point now);

}  // namespace quillon
