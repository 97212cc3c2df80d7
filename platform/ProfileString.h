// Reading one value from an initialisation (.ini) file.
#pragma once

#include <boost/filesystem/path.hpp>

#include <cstddef>

namespace quillon {

// GetPrivateProfileStringW's contract with an empty default: copies the value of `key` in `section` of
// the file into buffer (at most capacity - 1 units, a longer value is cut) and terminates it. Returns the
// number of units copied: 0 when the file, the section or the key is missing, or the value is empty.
std::size_t readProfileString(const char16_t* section, const char16_t* key, char16_t* buffer,
                              std::size_t capacity, const boost::filesystem::path& file);

}  // namespace quillon
