// Files whose every change must survive a power cut whole: the journal of an unfinished replacement. A change
// leaves either the old contents or the new ones on the disk, never a torn mixture, and the file is never
// readable by users (what it holds may include the enrolment codes, protected or not).
#pragma once

#include <string>
#include <string_view>

namespace quillon {

// Replaces the file at `path` (in a folder of platform/AdminFolder.h) with `bytes`: they are written to a new
// file beside it, flushed to the disk, and that file is renamed over the old one with write-through (Windows:
// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH; Linux: fsync, rename, fsync of the
// folder). The new file can be read and written by administrators and SYSTEM only (Linux: mode 0600).
// Returns 0, or the platform's error code of the step that failed (the old file then stays as it was).
int replaceFileDurably(const std::u16string& path, std::string_view bytes);

// Removes the file at `path` so that the removal itself survives a power cut (Linux: fsync of the folder;
// Windows has no such flush, and NTFS's journal leaves the file either gone or still whole).
// Returns 0, also when there was no such file, or the platform's error code.
int removeFileDurably(const std::u16string& path);

}  // namespace quillon
