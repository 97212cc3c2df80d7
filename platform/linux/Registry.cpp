// Linux body of platform/Registry.h: the registry file named by QUILLON_REGISTRY_FILE, read afresh at each
// open so that a change made by another program (the installer stand-in) is seen, as in the registry; and
// rewritten whole, by a new file renamed over it, for each value set. (The installer stand-in writes it too,
// never while the tool does: the tool waits for each installer run.)
#include "platform/Registry.h"

#include "platform/FileReplace.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"
#include "platform/linux/RegistryFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace quillon {
namespace {

RegistryValues* valuesOf(void* handle) { return static_cast<RegistryValues*>(handle); }
std::u16string* pathOf(void* handle) { return static_cast<std::u16string*>(handle); }

const char* registryFile() {
  const char* file = std::getenv("QUILLON_REGISTRY_FILE");
  return file != nullptr && *file != 0 ? file : nullptr;
}

// Reads the file, changes it as editRegistryFile does and puts the result in its place.
int editFile(const std::u16string& keyPath, std::u16string_view name, const RegistryValueData* value) {
  const char* file = registryFile();
  if (file == nullptr) return kErrorFileNotFound;
  std::string bytes;
  if (!readWholeFile(file, bytes, Sharing::Shared)) {
    if (access(file, F_OK) == 0) return kErrorAccessDenied;
    bytes.clear();  // no file yet: a new one
  }
  std::string edited;
  if (!editRegistryFile(bytes, keyPath, name, value, edited)) return kErrorBadDatabase;
  if (edited == bytes) return 0;
  const int error = replaceFileWhole(fromUtf8(file), edited, FileUse::Data);
  return error == 0 ? 0 : (error == EACCES || error == EPERM ? kErrorAccessDenied : kErrorBadDatabase);
}

}  // namespace

void closeRegistryKey(void* handle) { delete valuesOf(handle); }
void closeWritableRegistryKey(void* handle) { delete pathOf(handle); }

int RegistryKey::open(const char16_t* subkey, KeyView) {
  handle_.reset();

  // Without a registry file the machine has no such key, as a Windows machine without the agent.
  const char* file = registryFile();
  if (file == nullptr) return kErrorFileNotFound;
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

int WritableRegistryKey::create(const char16_t* subkey, KeyView) {
  handle_.reset();
  auto path = std::make_unique<std::u16string>(std::u16string(u"HKEY_LOCAL_MACHINE\\") + subkey);
  const int status = editFile(*path, u"", nullptr);
  if (status != 0) return status;
  handle_.reset(path.release());
  return 0;
}

int WritableRegistryKey::setValue(const char16_t* name, std::uint32_t type, const std::string& bytes) {
  if (!isOpen()) return 6;  // ERROR_INVALID_HANDLE
  const RegistryValueData value{type, bytes};
  return editFile(*pathOf(handle_.get()), name, &value);
}

}  // namespace quillon
