#include "helper/VerifiedWriter.h"

#include "platform/PlatformFile.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace quillon {

VerifiedWriter::VerifiedWriter(std::intptr_t file) : file_(file), readBack_(kReadBackSize) {
  for (std::vector<char>& block : blocks_) block.resize(kBlockSize);
  try {
    thread_ = std::thread([this] { work(); });
  } catch (const std::system_error&) {
    // No thread to be had: handOver() writes and compares each block itself, just as surely, only slower.
  }
}

VerifiedWriter::~VerifiedWriter() {
  // A download that ends without its last byte keeps in the file whatever had arrived.
  if (filling_ > 0 && !failed_) handOver();
  stop();
}

bool VerifiedWriter::append(const char* data, std::size_t size) {
  while (size > 0 && !failed_) {
    const std::size_t piece = std::min(size, kBlockSize - filling_);
    std::memcpy(blocks_[handed_ % kBlocks].data() + filling_, data, piece);
    filling_ += piece;
    appended_ += piece;
    data += piece;
    size -= piece;
    if (filling_ == kBlockSize) handOver();
  }
  return !failed_;
}

bool VerifiedWriter::finish() {
  if (filling_ > 0) handOver();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return done_ == handed_; });
  return !failed_;
}

void VerifiedWriter::restart() {
  appended_ = 0;
  filling_ = 0;
  failed_ = false;
}

void VerifiedWriter::handOver() {
  // Only the caller changes handed_, so reading it without the lock here is safe.
  const std::size_t index = handed_ % kBlocks;
  sizes_[index] = filling_;
  offsets_[index] = appended_ - filling_;
  filling_ = 0;
  if (!thread_.joinable()) {
    if (!failed_ && !writeAndCompare(blocks_[index].data(), sizes_[index], offsets_[index])) failed_ = true;
    ++handed_;
    ++done_;
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  ++handed_;
  changed_.notify_all();
  // The next block to fill is the oldest of the ring: it must have been written and compared.
  changed_.wait(lock, [this] { return handed_ - done_ < kBlocks; });
}

void VerifiedWriter::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return done_ < handed_ || stopping_; });
    if (done_ == handed_) return;  // stopping, and everything handed over is done
    const std::size_t index = done_ % kBlocks;
    lock.unlock();
    // After a failure the rest is only counted off: the file is not what was received whatever comes.
    if (!failed_ && !writeAndCompare(blocks_[index].data(), sizes_[index], offsets_[index])) failed_ = true;
    lock.lock();
    ++done_;
    changed_.notify_all();
  }
}

bool VerifiedWriter::writeAndCompare(const char* block, std::size_t size, std::uint64_t offset) {
  if (!writePlatformFile(file_, offset, block, size)) return false;
  // Read back from the file, not from memory: what the package check and the installer will read.
  for (std::size_t at = 0; at < size;) {
    const std::size_t piece = std::min(size - at, kReadBackSize);
    const long long read = readPlatformFile(file_, offset + at, readBack_.data(), piece);
    if (read <= 0 || std::memcmp(readBack_.data(), block + at, static_cast<std::size_t>(read)) != 0) return false;
    at += static_cast<std::size_t>(read);
  }
  return true;
}

void VerifiedWriter::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

}  // namespace quillon
