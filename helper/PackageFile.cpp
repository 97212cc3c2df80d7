// The platform-neutral part of helper/PackageFile.h: what was appended, the proof that the held file holds
// exactly that, and giving the file up.
#include "helper/PackageFile.h"

#include "platform/Paths.h"

#include <boost/filesystem/operations.hpp>

#include <cstdio>

namespace quillon {

bool PackageFile::create(const std::u16string& path) {
  path_ = path;
  appended_.emplace();
  created_ = openNew();
  return created_;
}

bool PackageFile::append(const char* data, std::size_t size) {
  if (file_.get() == nullptr || writeFailed_) return false;
  appended_->update(data, size);
  writeFailed_ = std::fwrite(data, 1, size, file_.get()) < size;
  return !writeFailed_;
}

bool PackageFile::restart() {
  if (file_.get() == nullptr || writeFailed_) return false;
  writeFailed_ = std::fflush(file_.get()) != 0 || !truncateWritten();
  if (writeFailed_) return false;
  appended_.emplace();
  return true;
}

bool PackageFile::holdAsWritten() {
  if (file_.get() == nullptr || writeFailed_ || std::fflush(file_.get()) != 0) return false;
  const std::optional<Sha256Digest> appended = appended_->finish();
  if (!holdReadOnly()) return false;

  // Read back through the hold, not by the name: that is the file the check and the installer will read,
  // and nothing can change it any more. The read-back stands between the last byte received and the
  // uninstall: large reads, and the hashing of each on the other thread while the next is read.
  BackgroundSha256 held;
  for (std::uint64_t offset = 0;;) {
    std::size_t room = 0;
    char* into = held.room(room);
    const long long read = readHeld(offset, into, room);
    if (read < 0) return false;
    if (read == 0) break;
    held.filled(static_cast<std::size_t>(read));
    offset += static_cast<std::uint64_t>(read);
  }
  const std::optional<Sha256Digest> found = held.finish();
  return appended && found && *appended == *found;
}

void PackageFile::discard() {
  file_.close();
  hold_.reset();
  if (!created_) return;
  created_ = false;
  boost::system::error_code ignored;  // a file that cannot be removed is created anew by the next download
  boost::filesystem::remove(toPath(path_), ignored);
}

}  // namespace quillon
