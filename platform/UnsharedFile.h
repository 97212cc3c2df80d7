// Reading a whole file while no other program may have it open.
#pragma once

#include <boost/filesystem/path.hpp>

#include <string>

namespace quillon {

// Files larger than this are refused rather than read into memory.
inline constexpr std::uint64_t kUnsharedFileLimit = 64u << 20;

// Opens the file without sharing (Linux: with an exclusive lock, against every program that locks it)
// and reads it whole. False when it is missing, not a regular file, held by another program, larger than
// the limit, or cannot be read.
bool readUnsharedFile(const boost::filesystem::path& file, std::string& bytes);

}  // namespace quillon
