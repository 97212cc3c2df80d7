// The one shape of the tool's resource holders, after WIL's unique_any: a value of type T that is released
// with Close when the holder ends, unless it is the empty value: T{} (null, 0), or Empty where T{} is a real
// one (-1 for a file descriptor, which may be 0). Never copied or moved. A holder of one kind of resource is
// then one line:
//   using ManagedBstr = ManagedResource<BSTR, SysFreeString>;
// A resource with a second empty value (INVALID_HANDLE_VALUE) or a close call that takes more than the
// value gets a small close function of its own that takes only the value and ignores what needs no closing.
// (ManagedMemory, ManagedFileHandle and ManagedHttpHandle, the download's holders, keep their own classes.)
#pragma once

#include <utility>

namespace quillon {

template <typename T, auto Close, T Empty = T{}>
class ManagedResource {
 public:
  explicit ManagedResource(T value = Empty) : value_(value) {}
  ~ManagedResource() { reset(); }
  ManagedResource(const ManagedResource&) = delete;
  ManagedResource& operator=(const ManagedResource&) = delete;

  T get() const { return value_; }
  // For a call that hands out a new resource through a pointer; the holder must be empty.
  T* receive() { return &value_; }
  // Releases what is held now and holds `value` instead.
  void reset(T value = Empty) {
    const T old = std::exchange(value_, value);
    if (old != Empty) Close(old);
  }
  // Gives up what is held now without releasing it (its new owner releases it).
  T release() { return std::exchange(value_, Empty); }

 private:
  T value_;
};

}  // namespace quillon
