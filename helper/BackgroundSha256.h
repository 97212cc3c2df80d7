// A SHA-256 of a stream of bytes, hashed on a thread of its own while the caller goes on: the download
// hands each piece over as it arrives and goes back to the network, the read-back goes on reading. The
// pieces are copied into one of two buffers of a fixed size, so the memory used is the same whatever the
// length of the stream. Where no thread can be started the hashing happens in update() itself.
#pragma once

#include "platform/Sha256.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillon {

class BackgroundSha256 {
 public:
  BackgroundSha256();
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  void update(const void* data, std::size_t size);
  // For a reader that can put the bytes straight where they are hashed, sparing a copy: room for up to
  // `size` bytes, then filled(count) with the count it put there.
  char* room(std::size_t& size);
  void filled(std::size_t count);
  // The digest of everything given so far, once the thread has hashed it (the object is spent afterwards).
  std::optional<Sha256Digest> finish();

 private:
  void handOver();  // the filled buffer to the thread, once it has finished the other one
  void hashHanded();  // the thread's loop
  void stop();

  static constexpr std::size_t kBufferSize = 1024 * 1024;
  Sha256 sha_;  // used by the thread alone while it runs
  std::vector<char> buffers_[2];
  int filling_ = 0;
  std::size_t filled_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_: the buffer the thread is to hash (its size; 0 when it has none) and the end.
  std::size_t handed_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quillon
