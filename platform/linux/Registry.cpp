// Linux body of platform/Registry.h: the registry file named by QUILLON_REGISTRY_FILE, read afresh at each
// open so that a change made by another program (the installer stand-in) is seen, as in the registry.
#include "platform/Registry.h"

#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "platform/linux/RegistryFile.h"

#include <cstdlib>
#include <cstring>

namespace quillon {
namespace {

RegistryValues* valuesOf(void* handle) { return static_cast<RegistryValues*>(handle); }

}  // namespace

void closeRegistryKey(void* handle) { delete valuesOf(handle); }

int RegistryKey::open(const char16_t* subkey) {
  handle_.reset();

  // Without a registry file the machine has no such key, as a Windows machine without the agent.
  const char* file = std::getenv("QUILLON_REGISTRY_FILE");
  if (file == nullptr || *file == 0) return kErrorFileNotFound;
  std::string bytes;
  if (!readWholeFile(file, bytes, Sharing::Shared)) return kErrorFileNotFound;

  RegistryKeys keys;
  std::size_t faultLine = 0;
  if (!parseRegistryFile(bytes, keys, faultLine)) return kErrorBadDatabase;

  // A key exists when it is named, or when a key below it is (its parents exist implicitly).
  const std::u16string path = foldRegistryName(std::u16string(u"HKEY_LOCAL_MACHINE\\") + subkey);
  if (const auto found = keys.find(path); found != keys.end()) {
    handle_.reset(new RegistryValues(found->second));
    return 0;
  }
  const std::u16string below = path + u"\\";
  const auto child = keys.lower_bound(below);
  if (child != keys.end() && child->first.compare(0, below.size(), below) == 0) {
    handle_.reset(new RegistryValues());
    return 0;
  }
  return kErrorFileNotFound;
}

int RegistryKey::queryValue(const char16_t* name, std::uint32_t* type, void* data, std::uint32_t* byteCount) const {
  if (!isOpen()) return 6;  // ERROR_INVALID_HANDLE
  const RegistryValues& values = *valuesOf(handle_.get());
  const auto found = values.find(foldRegistryName(name));
  if (found == values.end()) return kErrorFileNotFound;
  const RegistryValueData& value = found->second;
  *type = value.type;
  const std::uint32_t size = static_cast<std::uint32_t>(value.bytes.size());
  if (data == nullptr) {
    *byteCount = size;
    return 0;
  }
  if (size > *byteCount) {
    *byteCount = size;
    return kErrorMoreData;
  }
  std::memcpy(data, value.bytes.data(), size);
  *byteCount = size;
  return 0;
}

}  // namespace quillon
