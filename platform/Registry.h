// Reading values under HKEY_LOCAL_MACHINE: the system registry on Windows, on Linux a registry file in
// regedit's export format named by QUILLON_REGISTRY_FILE (read only). Both follow the contract of
// RegOpenKeyExW and RegQueryValueExW, with their error codes, so the reading rules above them are shared.
#pragma once

#include "platform/ManagedResource.h"

#include <cstdint>

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
  kErrorInvalidData = 13,
  kErrorMoreData = 234,
  kErrorBadDatabase = 1009,  // the registry file is malformed (Linux)
};

// Releases an open key (an HKEY on Windows, the key's values read from the file on Linux); one body per
// platform.
void closeRegistryKey(void* handle);

// An open key of HKEY_LOCAL_MACHINE, closed when the holder ends; never copied.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens `subkey` (such as SOFTWARE\TORVA\Quillon) for reading, in the registry view of this process's
  // own bitness (no view flag). Returns 0, or the error code: 2 when the key does not exist.
  int open(const char16_t* subkey);
  bool isOpen() const { return handle_.get() != nullptr; }

  // RegQueryValueExW: on entry *byteCount is the buffer's size in bytes. Returns 0 with the type, the data
  // and its size; 2 when there is no such value; 234 (the size needed in *byteCount) when the data does
  // not fit. The data is copied as stored: a string may lack its terminator.
  int queryValue(const char16_t* name, std::uint32_t* type, void* data, std::uint32_t* byteCount) const;

 private:
  ManagedResource<void*, closeRegistryKey> handle_;
};

}  // namespace quillon
