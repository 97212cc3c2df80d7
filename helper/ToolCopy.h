// The tool's own copy in its data folder (platform/AdminFolder.h's openToolDataFolder). The tool runs from a
// kit folder that its users can write; what runs or is loaded later with the system's rights, without the
// user there (the event log's message file, a task at the start of Windows), must come from a folder that
// only administrators can write. This copy is that file.
#pragma once

#include "platform/AdminFolder.h"

#include <cstdint>
#include <string>

namespace quillon {

inline constexpr char16_t kToolCopyFileName[] = u"MigrationTool.exe";
// The largest program copied. The product is a few megabytes; the test builds, with their debugging
// information, are tens of megabytes.
inline constexpr std::uint64_t kToolCopyLimit = 256ull << 20;

// Makes <dataFolder>\MigrationTool.exe the same bytes as the running executable (platform/Paths.h's
// executablePath): when it is missing, differs, or is not a plain file (a link, say), a new file is written
// beside it and renamed over it (platform/FileReplace.h), so a reader sees the old copy or the new one, and
// nothing is ever written through a link. Returns the copy's path; empty when there is none to use: the folder
// is not Ready, the running executable cannot be read, or the copy cannot be written. Each of those is logged
// (Helper.cpp, "Helper::placeToolCopy"). A copy that is already the same is left untouched, so the copy
// itself may call this (it then only reads). Self-contained: any step of the tool may call it.
std::u16string placeToolCopy(const AdminFolder& dataFolder);

}  // namespace quillon
