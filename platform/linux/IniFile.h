// The Linux stand-in for the initialisation-file reader of Windows (GetPrivateProfileStringW).
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// The file's text: UTF-16LE or UTF-16BE with their byte-order marks, otherwise UTF-8 (with or without BOM).
std::u16string decodeIniText(std::string_view bytes);

// The value of `key` in the first section named `section`, empty when there is none. The Windows rules:
// section and key names compare without regard to ASCII letter case; blanks around a key and around a
// value are dropped; one pair of matching quotes (' or ") around a value is removed; the first section of
// the name, and in it the first line of the key, wins; lines without "=" (comments starting with ";"
// among them) hold no value.
std::u16string findIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key);

}  // namespace quillon
