// Reading a whole file into memory, as the tool reads its small files (the terms, Auth.ini, the Linux
// registry file).
#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <string>

namespace quillon {

// Files larger than this are refused rather than read into memory.
inline constexpr std::uint64_t kWholeFileLimit = 64u << 20;

// Whether other programs may have the file open while it is read.
enum class Sharing {
  // Open to everyone, as Windows' own readers share a file (reading, writing and deleting).
  Shared,
  // Only when no other program has it open, and keeping them out meanwhile (Linux: an exclusive lock, against
  // every program that locks it).
  Unshared,
};

// Reads the file whole: the bytes up to its size when it was opened. False when it is missing, not a regular
// file, larger than `limit`, held by another program (Unshared), or cannot be read.
bool readWholeFile(const boost::filesystem::path& file, std::string& bytes, Sharing sharing,
                   std::uint64_t limit = kWholeFileLimit);

}  // namespace quillon
