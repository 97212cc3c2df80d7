// Our own initialisation-file reader with the rules of Windows' GetPrivateProfileStringW. The Linux build
// reads every Auth.ini with it; the Windows build reads the UTF-8 ones with it, which Windows' reader would
// take for the ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon {

// How a file's bytes are text, decided alike on both builds: a UTF-16 byte-order mark (FF FE little-endian,
// FE FF big-endian); else UTF-8 when the file starts with its mark (EF BB BF), or when it has no mark, holds
// bytes beyond ASCII and is well-formed UTF-8 throughout (what Notepad saves by default); else the ANSI code
// page, the platform's answer for a file without a mark.
enum class IniEncoding { Utf16LittleEndian, Utf16BigEndian, Utf8, Ansi };
IniEncoding detectIniEncoding(std::string_view bytes);

// The text of a file in one of the Unicode encodings, without its byte-order mark (malformed UTF-8 becomes
// U+FFFD). The ANSI code page is the platform's to decode.
std::u16string decodeUnicodeIniText(std::string_view bytes, IniEncoding encoding);

// The value of `key` in the first section named `section`, empty when there is none. The Windows rules:
// section and key names compare without regard to ASCII letter case; blanks around a key and around a
// value are dropped; one pair of matching quotes (' or ") around a value is removed; the first section of
// the name, and in it the first line of the key, wins; lines without "=" (comments starting with ";"
// among them) hold no value.
std::u16string findIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key);

// GetPrivateProfileStringW's answer from the file's text: the value up to a NUL (where Windows' reader ends
// it) copied into buffer and cut to capacity - 1 units; the number of units copied.
std::size_t copyIniValue(std::u16string_view text, const char16_t* section, const char16_t* key, char16_t* buffer,
                         std::size_t capacity);

}  // namespace quillon
