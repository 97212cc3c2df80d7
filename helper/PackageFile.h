// The downloaded package on disk, from the moment the download creates it until the install has ended.
// The tool runs elevated and the package lies in the user's temporary folder, where any program of the user
// can write: so the file is created anew by the download alone, no other program can change, replace,
// rename or delete it while the tool relies on it, and what the package check and the installer read is
// proved to be byte for byte what the server sent. Each piece is written and read back from the file while
// the download goes on (helper/VerifiedWriter.h), so the proof ends a moment after the last byte. Windows keeps
// other programs out with share modes throughout; Linux has none, and there a watch on the file, from its
// creation to the hold, tells whether any other program opened, linked, renamed or removed it meanwhile.
#pragma once

#include "helper/VerifiedWriter.h"
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

  // Appends bytes, in order. False once a piece could not be written (a full disk) or did not read back as
  // given; the bytes written so far stay.
  bool append(const char* data, std::size_t size);

  // Starts the file over, for a download that has to begin again: it is cut to nothing through the same
  // handle (it stays created and held as before) and appending starts again at its first byte.
  bool restart();

  // Ends the writing, and from then on the file is held read-only (the installer opens a package denying
  // writers), still against every change, rename and delete by others. True only when the held file is the
  // one created, every piece appended read back from it as given, and it holds nothing more.
  bool holdAsWritten();

  // Gives the file up when the run stops before the install (the user cancelled): the file this object
  // created is removed through a handle on that very file (never a file another program put at the name),
  // and the hold is released, so that nothing of a package that may be partial is left at the path.
  // Nothing happens when it created none.
  void discard();

 private:
  // One body per platform.
  bool openNew();          // removes the old entry and creates the file into file_ (Linux: and watch_)
  bool truncateWritten();  // the file cut to nothing through file_
  // After the writer's last block: the hold replaces file_ (Linux: file_ itself becomes the hold), once the
  // file is shown to be the one created, untouched by others, and `size` bytes long.
  bool holdReadOnly(std::uint64_t size);
  void removeOwn();  // deletes the file through file_ or hold_, whichever is open, and closes them

  std::u16string path_;
  ManagedPlatformFile file_;   // open for writing and reading back, until the hold
  ManagedPlatformFile hold_;   // the read-only hold
  ManagedPlatformFile watch_;  // Linux: the watch on the file until the hold (Windows: unused)
  // Writes file_ from its creation to the hold; declared last, so its thread ends before file_ is closed.
  std::optional<VerifiedWriter> writer_;
  bool created_ = false;
};

}  // namespace quillon
