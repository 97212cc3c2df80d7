// A file read in pieces at given offsets, for a reader that must not hold a large file in memory whole.
#pragma once

#include "platform/PlatformFile.h"

#include <boost/filesystem/path.hpp>

#include <cstddef>
#include <cstdint>

namespace quillon {

// Opened for reading (others may read it meanwhile); closed when the object ends.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const boost::filesystem::path& file);
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  // False when the file is missing, not a regular file, or cannot be opened.
  bool isOpen() const { return open_; }
  // Its size in bytes when it was opened.
  std::uint64_t size() const { return size_; }
  // Reads exactly `bytes` bytes from `offset`; false when they are not all there or the read fails.
  bool read(std::uint64_t offset, char* buffer, std::size_t bytes) const;

 private:
  ManagedPlatformFile handle_;
  bool open_ = false;
  std::uint64_t size_ = 0;
};

}  // namespace quillon
