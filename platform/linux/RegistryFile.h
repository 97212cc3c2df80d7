// The Linux build's HKEY_LOCAL_MACHINE: a registry file in the format regedit exports and imports, so the
// same fixture files serve both builds. Only what the tool reads is kept: keys, value names, types, bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace quillon {

struct RegistryValueData {
  std::uint32_t type = 0;
  std::string bytes;  // as RegQueryValueExW returns them: strings as UTF-16LE, with a terminator if stored
};

// Key paths ("HKEY_LOCAL_MACHINE\SOFTWARE\...") and value names are looked up without regard to ASCII
// letter case, as the registry does; the maps are keyed by foldRegistryName of the name.
using RegistryValues = std::map<std::u16string, RegistryValueData>;
using RegistryKeys = std::map<std::u16string, RegistryValues>;

std::u16string foldRegistryName(std::u16string_view name);

// Parses a whole file: UTF-16LE with its byte-order mark, as regedit exports, or UTF-8. Understood:
// the header line "Windows Registry Editor Version 5.00", blank and ";" comment lines,
// [key] and [-key] (deletes the key and its subkeys read so far), and values as "name" or @ followed by
// = and one of: "text" (REG_SZ; escapes \\ and \"), dword:hhhhhhhh, hex:bytes (REG_BINARY), hex(t):bytes
// (type t, so hex(1) gives a REG_SZ of raw UTF-16LE bytes that may lack the terminator), or - (deletes the
// value). Hex bytes may continue on the next line after a trailing backslash. Anything else is malformed:
// the result is false, `keys` is left as it was, and faultLine holds the 1-based line of the fault.
bool parseRegistryFile(std::string_view bytes, RegistryKeys& keys, std::size_t& faultLine);

// The file's bytes changed as RegCreateKeyExW (`value` null: the key is made when missing) or RegSetValueExW
// (`value` given: the value `name` of the key set, every earlier line of it removed) would change the
// registry, for `keyPath` ("HKEY_LOCAL_MACHINE\..."). Every other line stays as it was, byte for byte, and the
// file keeps its encoding (UTF-16LE with its mark, UTF-8 with or without one) and its line ends; empty
// `bytes` start a new UTF-8 file. False, and `result` untouched, when `bytes` are malformed.
bool editRegistryFile(std::string_view bytes, std::u16string_view keyPath, std::u16string_view name,
                      const RegistryValueData* value, std::string& result);

}  // namespace quillon
