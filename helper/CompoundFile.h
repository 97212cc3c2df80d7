// The container an installer package is stored in (a compound file: a header, then sectors that a
// file allocation table chains into streams), checked before the installer's database code reads it.
// Given a file cut short within its first sectors, that code can hang or crash the process (Wine's
// msi.dll does): a file whose map does not lie within it never reaches it.
#pragma once

#include <boost/filesystem/path.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quillon {

// Reads `bytes` bytes of the file from `offset` into `buffer`; false when they are not all there.
using ReadFileBytes = std::function<bool(std::uint64_t offset, char* buffer, std::size_t bytes)>;

// True when a file of `size` bytes, read through `read`, is a compound file whose map lies within it: its
// signature; sectors of 512 bytes (major version 3) or 4096 (version 4) and mini sectors of 64; the FAT
// sectors that the header and the DIFAT chain list, as many as the header counts, each whole in the file;
// every sector the FAT allocates, and every sector a chain's next-pointer names, whole in the file; and a
// directory that starts at an allocated sector. It holds one sector at a time and reads at most twice as
// many sectors as the file has, whatever the header says (a DIFAT chain that loops, counts in billions).
bool isCompleteCompoundFile(std::uint64_t size, const ReadFileBytes& read);

// The same check of a file on disk; false when it cannot be read.
bool isCompleteCompoundFile(const boost::filesystem::path& file);

}  // namespace quillon
