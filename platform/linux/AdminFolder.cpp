// Linux body of platform/AdminFolder.h: the folders under QUILLON_WINDOWS_DIR or QUILLON_PROGRAM_DATA, each
// made with mkdirat and opened relative to the one before it with O_NOFOLLOW, so no link on the way is ever
// followed. Linux has no delete sharing: the folders are held open as on Windows, but could still be renamed.
#include "platform/AdminFolder.h"

#include "platform/PlatformFile.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon {
namespace {

AdminFolder failed(int error) { return {AdminFolder::State::Failed, {}, error, {}}; }

// Written only by its owner, and owned by root or by this user: what an administrators-only folder is here.
bool onlyAdministratorsCanWrite(const struct stat& info) {
  return (info.st_uid == 0 || info.st_uid == geteuid()) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Finds or makes the folders `names` under the folder that the environment variable `baseVariable` names,
// holding each once examined.
template <std::size_t N>
AdminFolder openUnder(const char* baseVariable, const char16_t* const (&names)[N]) {
  const char* base = std::getenv(baseVariable);
  if (base == nullptr || *base == 0) return failed(ENOENT);
  std::string path = base;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  // The base folder itself is the machine's, as %WINDIR% is: it may be reached any way.
  const ManagedPlatformFile baseFolder(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (baseFolder.get() == -1) return failed(errno);

  std::vector<std::unique_ptr<ManagedPlatformFile>> held;
  for (const char16_t* name : names) {
    const std::string entry = toUtf8(name);
    path += "/" + entry;
    const int at = static_cast<int>(held.empty() ? baseFolder.get() : held.back()->get());
    // Made with no write permission for group or others; an existing entry is examined below, whatever it is.
    if (mkdirat(at, entry.c_str(), 0755) != 0 && errno != EEXIST) return failed(errno);
    auto folder = std::make_unique<ManagedPlatformFile>(openat(at, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder->get() == -1) {
      // ELOOP: a symbolic link; ENOTDIR: a file or another kind of entry.
      if (errno == ELOOP || errno == ENOTDIR) return {AdminFolder::State::Refused, fromUtf8(path), 0, {}};
      return failed(errno);
    }
    struct stat info;
    if (fstat(static_cast<int>(folder->get()), &info) != 0) return failed(errno);
    if (!onlyAdministratorsCanWrite(info)) return {AdminFolder::State::Refused, fromUtf8(path), 0, {}};
    held.push_back(std::move(folder));
  }
  return {AdminFolder::State::Ready, fromUtf8(path), 0, std::move(held)};
}

}  // namespace

AdminFolder openInstallerLogFolder() { return openUnder("QUILLON_WINDOWS_DIR", kInstallerLogFolderNames); }

AdminFolder openToolDataFolder() { return openUnder("QUILLON_PROGRAM_DATA", kToolDataFolderNames); }

}  // namespace quillon
