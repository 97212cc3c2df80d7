// The package's bytes on their way into its file. The download hands each piece over and goes back to the
// network; a thread of its own writes the pieces into the file and at once reads them back from it, comparing
// them with what was handed over. So the proof that the file holds what was received follows the writing by a
// few blocks, and ends a moment after the last one, with no second pass over the file and no hash. The pieces
// wait in a ring of a few fixed blocks: the memory used is the same whatever the package's size. Where no
// thread can be started, the writing and the comparing happen in append() itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

class VerifiedWriter {
 public:
  // Writes into `file`, a platform file (platform/PlatformFile.h) open for reading and writing, from its
  // first byte on. The file stays the caller's.
  explicit VerifiedWriter(std::intptr_t file);
  ~VerifiedWriter();  // everything appended is still written and compared
  VerifiedWriter(const VerifiedWriter&) = delete;
  VerifiedWriter& operator=(const VerifiedWriter&) = delete;

  // Hands bytes over, in order. False once a block could not be written whole, or read back unlike what
  // was handed over; nothing more is written then.
  bool append(const char* data, std::size_t size);
  // Waits until everything handed over is written and compared; true when the file holds all of it as it
  // was given. The file's length is not looked at here (the caller's hold checks it).
  bool finish();
  // After finish(): appending starts again at the first byte (the caller has cut the file).
  void restart();
  // The bytes handed over since the start or the last restart.
  std::uint64_t size() const { return appended_; }

  // The ring: kBlocks blocks of kBlockSize bytes; each is read back in pieces of kReadBackSize.
  static constexpr std::size_t kBlockSize = 256 * 1024;
  static constexpr std::size_t kBlocks = 4;
  static constexpr std::size_t kReadBackSize = 64 * 1024;

 private:

  void handOver();  // the block being filled to the thread; returns once the next one is free
  void work();      // the thread's loop
  bool writeAndCompare(const char* block, std::size_t size, std::uint64_t offset);
  void stop();

  const std::intptr_t file_;
  std::vector<char> blocks_[kBlocks];
  std::size_t sizes_[kBlocks] = {};
  std::uint64_t offsets_[kBlocks] = {};
  std::vector<char> readBack_;  // the thread's
  // The caller's: the bytes in the block being filled, and all handed over.
  std::size_t filling_ = 0;
  std::uint64_t appended_ = 0;
  std::atomic<bool> failed_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_: blocks handed over and blocks done, counted since the start (block n is
  // blocks_[n % kBlocks]), and the end.
  std::uint64_t handed_ = 0;
  std::uint64_t done_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quillon
