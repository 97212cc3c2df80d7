// The executable's string table (the message catalogue).
#pragma once

#include <cstddef>

namespace quillon {

// LoadStringW's contract: copies entry `id` into buffer, at most capacity - 1 units, terminates it and
// returns the number of units copied; 0 for an unknown id (the buffer then holds the empty text).
int loadString(unsigned id, char16_t* buffer, int capacity);

}  // namespace quillon
