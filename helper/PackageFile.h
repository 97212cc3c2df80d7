// The downloaded package on disk, from the moment the download creates it until the install has ended.
// The tool runs elevated and the package lies in the user's temporary folder, where any program of the user
// can write: so the file is created anew by the download alone, no other program can change, replace,
// rename or delete it while the tool relies on it, and what the package check and the installer read is
// proved to be byte for byte what the server sent. Windows enforces this with share modes; Linux has none,
// and there the proof is made once, when the download ends.
#pragma once

#include "helper/BackgroundSha256.h"
#include "helper/ManagedResources.h"
#include "platform/PlatformFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quillon {

class PackageFile {
 public:
  PackageFile() = default;
  PackageFile(const PackageFile&) = delete;
  PackageFile& operator=(const PackageFile&) = delete;

  // Removes whatever stands at `path` (a link is removed, never followed; false, the entry left as it was,
  // when it cannot be removed) and creates the file anew, for this process alone (false when that fails, as
  // when another program put an entry there meanwhile). Appending then starts at its first byte.
  bool create(const std::u16string& path);

  // Appends bytes, in order. False on a short write (a full disk); the bytes written so far stay.
  bool append(const char* data, std::size_t size);

  // Starts the file over, for a download that has to begin again: it is cut to nothing through the same
  // handle (it stays created and held as before) and appending starts again at its first byte.
  bool restart();

  // Ends the writing: the last bytes reach the file, and from then on the file is held read-only (the
  // installer opens a package denying writers), still against every change, rename and delete by others.
  // True only when what the held file holds, read back through the hold, is exactly what was appended.
  bool holdAsWritten();

  // Gives the file up when the run stops before the install (the user cancelled): the stream or the hold is
  // released first, then the file this object created is removed, so that nothing of a package that may be
  // partial is left at the path. Nothing happens when it created none.
  void discard();

 private:
  // One body per platform.
  bool openNew();       // removes the old entry and creates the file; file_ receives the writing stream
  bool holdReadOnly();  // after the stream's last bytes are out: the read-only hold replaces the stream
  bool truncateWritten();  // after the stream's last bytes are out: the file cut to nothing
  // Reads up to `size` bytes at `offset` through the hold; the count read (0 at the end), or -1.
  long long readHeld(std::uint64_t offset, char* buffer, std::size_t size) const;

  std::u16string path_;
  ManagedFileHandle file_;  // the writing stream, until the file is held
  ManagedPlatformFile hold_;  // the read-only hold
  // Of what was appended since the file was created or restarted, hashed while the download goes on.
  std::optional<BackgroundSha256> appended_;
  bool writeFailed_ = false;
  bool created_ = false;
};

}  // namespace quillon
