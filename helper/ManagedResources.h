// Scope-bound owners of the download's heap buffers and output file. One small class per kind of resource,
// released in its destructor on every path, never copied or moved.
#pragma once

#include <cstdio>

// A heap array from new[] (or null), released with delete[].
template <typename T>
class ManagedMemory {
 public:
  explicit ManagedMemory(T* array) : array_(array) {}
  virtual ~ManagedMemory() {
    if (array_ != nullptr) delete[] array_;
  }
  ManagedMemory(const ManagedMemory&) = delete;
  ManagedMemory& operator=(const ManagedMemory&) = delete;

  T* get() const { return array_; }

 private:
  T* array_;
};

// A C runtime file stream (null until the file is opened), closed with fclose.
class ManagedFileHandle {
 public:
  ManagedFileHandle() = default;
  virtual ~ManagedFileHandle() {
    if (stream_ != nullptr) std::fclose(stream_);
  }
  ManagedFileHandle(const ManagedFileHandle&) = delete;
  ManagedFileHandle& operator=(const ManagedFileHandle&) = delete;

  // Where the opening call stores the stream.
  std::FILE** receive() { return &stream_; }
  std::FILE* get() const { return stream_; }
  // Closes the stream before the end of the scope; fclose's result (0 when nothing was open).
  int close() {
    std::FILE* stream = stream_;
    stream_ = nullptr;
    return stream != nullptr ? std::fclose(stream) : 0;
  }

 private:
  std::FILE* stream_ = nullptr;
};
