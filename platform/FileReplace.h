// Replacing a whole file at once, as the tool keeps its copy in its data folder and the Linux build its
// registry file: a reader sees the old file or the new one, never half of either; and a link found at the
// path is never followed.
#pragma once

#include "platform/WholeFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

enum class FileUse {
  Data,     // Linux: a new file rw-r--r-- (an existing file keeps its mode)
  Program,  // Linux: a new file rwxr-xr-x (an existing file keeps its mode)
};

// Writes `bytes` to a new file beside `path` (its name and ".new"; a leftover of that name is removed first,
// never followed), flushes it and renames it over `path`. A link at `path` is itself replaced. Windows: the new
// file takes the security its folder passes on. Returns 0, or the platform's error code of the step that
// failed (the old file then stays as it was, and the new one is removed).
int replaceFileWhole(const std::u16string& path, std::string_view bytes, FileUse use);

// Reads the file at `path` whole when it is a plain file: not a link (nor, on Windows, another reparse point),
// a file of one name only, and no larger than `limit`. False otherwise.
bool readPlainFile(const std::u16string& path, std::string& bytes, std::uint64_t limit = kWholeFileLimit);

}  // namespace quillon
