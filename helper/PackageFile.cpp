// The platform-neutral part of helper/PackageFile.h: the writing, the hold and giving the file up.
#include "helper/PackageFile.h"

namespace quillon {

bool PackageFile::create(const std::u16string& path) {
  path_ = path;
  created_ = openNew();
  if (created_) writer_.emplace(file_.get());
  return created_;
}

bool PackageFile::append(const char* data, std::size_t size) { return writer_ && writer_->append(data, size); }

bool PackageFile::restart() {
  if (!writer_ || !writer_->finish() || !truncateWritten()) return false;
  writer_->restart();
  return true;
}

bool PackageFile::holdAsWritten() {
  if (!writer_) return false;
  const bool written = writer_->finish();
  const std::uint64_t size = writer_->size();
  writer_.reset();
  return written && holdReadOnly(size);
}

void PackageFile::discard() {
  writer_.reset();
  if (!created_) return;
  created_ = false;
  removeOwn();  // a file that cannot be removed is created anew by the next download
}

}  // namespace quillon
