// The compound-file check of the package: its header, DIFAT and FAT (see CompoundFile.h).
#include "helper/CompoundFile.h"

#include "platform/ReadOnlyFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quillon {

namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderBytes = 512;

// Header fields (little-endian) by their offsets.
constexpr std::size_t kMajorVersion = 0x1A;
constexpr std::size_t kSectorShift = 0x1E;
constexpr std::size_t kMiniSectorShift = 0x20;
constexpr std::size_t kFatSectorCount = 0x2C;
constexpr std::size_t kFirstDirectorySector = 0x30;
constexpr std::size_t kFirstDifatSector = 0x44;
constexpr std::size_t kDifatSectorCount = 0x48;
constexpr std::size_t kHeaderDifat = 0x4C;  // the first 109 FAT sector numbers
constexpr std::size_t kHeaderDifatEntries = 109;

// Sector numbers up to kLastSector name sectors; the numbers above them are marks.
constexpr std::uint32_t kLastSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;

std::uint16_t readU16(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t readU32(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

}  // namespace

bool isCompleteCompoundFile(std::uint64_t size, const ReadFileBytes& read) {
  char header[kHeaderBytes];
  if (size < kHeaderBytes || !read(0, header, kHeaderBytes)) return false;
  if (std::memcmp(header, kSignature, sizeof kSignature) != 0) return false;
  const std::uint16_t version = readU16(header + kMajorVersion);
  const std::uint16_t shift = readU16(header + kSectorShift);
  if (!((version == 3 && shift == 9) || (version == 4 && shift == 12)) || readU16(header + kMiniSectorShift) != 6) {
    return false;
  }

  // Sector n fills the bytes from (n + 1) sector sizes on: the header takes the place of one sector.
  const std::size_t sectorBytes = std::size_t{1} << shift;
  const std::size_t entriesPerSector = sectorBytes / 4;
  const std::uint64_t sectors = std::max<std::uint64_t>(size >> shift, 1) - 1;
  const auto inFile = [&](std::uint64_t sector) { return sector < sectors; };
  const auto readSector = [&](std::uint32_t sector, std::vector<char>& bytes) {
    return inFile(sector) && read((std::uint64_t{sector} + 1) << shift, bytes.data(), sectorBytes);
  };

  // Every FAT sector is a sector of the file of its own, so there cannot be more of them than it has.
  const std::uint32_t fatSectors = readU32(header + kFatSectorCount);
  if (fatSectors > sectors) return false;
  const std::uint32_t directory = readU32(header + kFirstDirectorySector);
  bool directoryAllocated = false;

  // The FAT's sector number `position` (its first, second, ...) as the DIFAT names it: present for each of
  // the header's count, free after them. Each entry not free allocates its sector, and names the next
  // sector of a chain or a mark; either way the sectors it names must be in the file.
  std::vector<char> fat(sectorBytes);
  std::uint64_t position = 0;
  const auto checkFatSector = [&](std::uint32_t sector) {
    const std::uint64_t index = position++;
    if (sector == kFreeSector) return index >= fatSectors;
    if (index >= fatSectors || !readSector(sector, fat)) return false;
    const std::uint64_t first = index * entriesPerSector;  // the sector its first entry is for
    for (std::size_t i = 0; i < entriesPerSector; ++i) {
      const std::uint32_t next = readU32(fat.data() + 4 * i);
      if (next == kFreeSector) continue;
      if (!inFile(first + i) || (next <= kLastSector && !inFile(next))) return false;
      if (first + i == directory) directoryAllocated = true;
    }
    return true;
  };

  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
    if (!checkFatSector(readU32(header + kHeaderDifat + 4 * i))) return false;
  }
  // The DIFAT chain goes on where the header ends: each sector holds FAT sector numbers and, last, the
  // number of the next. It is as long as the header says, which a loop is not.
  const std::uint32_t difatSectors = readU32(header + kDifatSectorCount);
  const std::uint64_t difatLimit = std::min<std::uint64_t>(difatSectors, sectors);
  std::vector<char> difat(sectorBytes);
  std::uint64_t difatRead = 0;
  for (std::uint32_t next = readU32(header + kFirstDifatSector); next != kEndOfChain && next != kFreeSector;
       next = readU32(difat.data() + sectorBytes - 4)) {
    if (++difatRead > difatLimit || !readSector(next, difat)) return false;
    for (std::size_t i = 0; i + 1 < entriesPerSector; ++i) {
      if (!checkFatSector(readU32(difat.data() + 4 * i))) return false;
    }
  }
  return difatRead == difatSectors && position >= fatSectors && directoryAllocated;
}

bool isCompleteCompoundFile(const boost::filesystem::path& file) {
  const ReadOnlyFile input(file);
  return input.isOpen() &&
         isCompleteCompoundFile(input.size(), [&](std::uint64_t offset, char* buffer, std::size_t bytes) {
           return input.read(offset, buffer, bytes);
         });
}

}  // namespace quillon
