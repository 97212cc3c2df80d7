// The length a server announces for a response body, as its Content-Length header gives it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

// The header's value as a number: one or more decimal digits and nothing else, up to 2^64 - 1. Anything
// else (an empty value, a sign, blanks, a list, a number past 64 bits) announces nothing usable, so nothing.
std::optional<std::uint64_t> parseContentLength(std::u16string_view text);

}  // namespace quillon
