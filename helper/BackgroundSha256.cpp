#include "helper/BackgroundSha256.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace quillon {

BackgroundSha256::BackgroundSha256() : buffers_{std::vector<char>(kBufferSize), std::vector<char>(kBufferSize)} {
  try {
    thread_ = std::thread([this] { hashHanded(); });
  } catch (const std::system_error&) {
    // No thread to be had: update() hashes the pieces itself, just as surely, only later.
  }
}

BackgroundSha256::~BackgroundSha256() { stop(); }

void BackgroundSha256::update(const void* data, std::size_t size) {
  for (auto bytes = static_cast<const char*>(data); size > 0;) {
    std::size_t space = 0;
    char* into = room(space);
    const std::size_t piece = std::min(size, space);
    std::memcpy(into, bytes, piece);
    filled(piece);
    bytes += piece;
    size -= piece;
  }
}

char* BackgroundSha256::room(std::size_t& size) {
  size = kBufferSize - filled_;
  return buffers_[filling_].data() + filled_;
}

void BackgroundSha256::filled(std::size_t count) {
  if (!thread_.joinable()) return sha_.update(buffers_[filling_].data() + filled_, count);
  filled_ += count;
  if (filled_ == kBufferSize) handOver();
}

std::optional<Sha256Digest> BackgroundSha256::finish() {
  if (filled_ > 0) handOver();
  stop();
  return sha_.finish();
}

void BackgroundSha256::handOver() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return handed_ == 0; });
  handed_ = filled_;
  changed_.notify_all();
  // The thread hashes the buffer just filled; the other one, which it has finished, is filled next.
  filling_ = 1 - filling_;
  filled_ = 0;
}

void BackgroundSha256::hashHanded() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return handed_ > 0 || stopping_; });
    if (handed_ == 0) return;  // stopping, and everything handed over is hashed
    const std::size_t size = handed_;
    const char* bytes = buffers_[1 - filling_].data();
    lock.unlock();
    sha_.update(bytes, size);
    lock.lock();
    handed_ = 0;
    changed_.notify_all();
  }
}

void BackgroundSha256::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

}  // namespace quillon
