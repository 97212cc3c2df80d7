// Values under HKEY_LOCAL_MACHINE: the system registry on Windows, on Linux a registry file in regedit's
// export format named by QUILLON_REGISTRY_FILE. Both follow the contract of RegOpenKeyExW, RegQueryValueExW,
// RegCreateKeyExW and RegSetValueExW, with their error codes, so the rules above them are shared.
#pragma once

#include "platform/ManagedResource.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Value types, with their Windows numbers.
enum : std::uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
};

// Windows error codes the registry reports, on both builds.
enum : int {
  kErrorFileNotFound = 2,
  kErrorAccessDenied = 5,
  kErrorInvalidData = 13,
  kErrorMoreData = 234,
  kErrorBadDatabase = 1009,  // the registry file is malformed (Linux)
};

// Which registry view a key is opened in. A 32-bit program on 64-bit Windows sees the 32-bit view of
// HKLM\SOFTWARE by default; the tool's own record is always kept there, so that the 32-bit product and a
// 64-bit build of the same sources read and write the same key. Linux has one view.
enum class KeyView {
  Own,     // no view flag: the view of this process's bitness
  Bits32,  // KEY_WOW64_32KEY
};

// Releases an open key (an HKEY on Windows, the key's values read from the file on Linux); one body per
// platform.
void closeRegistryKey(void* handle);
void closeWritableRegistryKey(void* handle);

// An open key of HKEY_LOCAL_MACHINE, closed when the holder ends; never copied.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `subkey` (such as SOFTWARE\TORVA\Quillon) for reading, in the registry view of this process's
  // own bitness (no view flag). Returns 0, or the error code: 2 when the key does not exist.
  int open(const char16_t* subkey, KeyView view = KeyView::Own);
  bool isOpen() const { return handle_.get() != nullptr; }

  // RegQueryValueExW: on entry *byteCount is the buffer's size in bytes. Returns 0 with the type, the data
  // and its size; 2 when there is no such value; 234 (the size needed in *byteCount) when the data does
  // not fit. The data is copied as stored: a string may lack its terminator.
  int queryValue(const char16_t* name, std::uint32_t* type, void* data, std::uint32_t* byteCount) const;

 private:
  ManagedResource<void*, closeRegistryKey> handle_;
};

// A key of HKEY_LOCAL_MACHINE open for writing values, closed when the holder ends; never copied. Each value
// written is in place when the call returns: there is no transaction over several values. Windows: the
// key is created with the security it inherits from its parent. Linux: every change rewrites the registry
// file whole, as a new file renamed over the old one, in the file's own encoding (a malformed file is never
// rewritten: kErrorBadDatabase); a missing file is made anew (UTF-8).
class WritableRegistryKey {
 public:
  WritableRegistryKey() = default;
  WritableRegistryKey(const WritableRegistryKey&) = delete;
  WritableRegistryKey& operator=(const WritableRegistryKey&) = delete;

  // RegCreateKeyExW: opens `subkey`, making it (and any missing key above it) when it does not exist.
  // Returns 0, or the error code: 5 without the rights to write there.
  int create(const char16_t* subkey, KeyView view);
  bool isOpen() const { return handle_.get() != nullptr; }

  // RegSetValueExW: REG_SZ and REG_EXPAND_SZ texts (stored with their terminator), REG_DWORD numbers.
  // Returns 0, or the error code.
  int setString(const char16_t* name, std::u16string_view text);
  int setExpandString(const char16_t* name, std::u16string_view text);
  int setDword(const char16_t* name, std::uint32_t value);

 private:
  int setValue(const char16_t* name, std::uint32_t type, const std::string& bytes);  // one body per platform

  ManagedResource<void*, closeWritableRegistryKey> handle_;
};

}  // namespace quillon
