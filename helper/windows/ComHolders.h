// Windows only: owners of the OLE automation values the configuration-script request passes to and gets
// from its COM object, and of the apartment of the thread it runs on. COM interface pointers themselves are
// held by Microsoft::WRL::ComPtr.
#pragma once

#include "platform/windows/WindowsSupport.h"

#include <ole2.h>

namespace quillon {

// A BSTR, freed with SysFreeString.
class ManagedBstr {
 public:
  explicit ManagedBstr(BSTR text = nullptr) : text_(text) {}
  ~ManagedBstr() { SysFreeString(text_); }
  ManagedBstr(const ManagedBstr&) = delete;
  ManagedBstr& operator=(const ManagedBstr&) = delete;

  BSTR get() const { return text_; }
  BSTR* receive() { return &text_; }  // for a call that returns a new BSTR into an empty holder

 private:
  BSTR text_;
};

// A VARIANT, cleared with VariantClear.
class ManagedVariant {
 public:
  ManagedVariant() { VariantInit(&value_); }
  ~ManagedVariant() { VariantClear(&value_); }
  ManagedVariant(const ManagedVariant&) = delete;
  ManagedVariant& operator=(const ManagedVariant&) = delete;

  VARIANT& get() { return value_; }

 private:
  VARIANT value_;
};

// The calling thread's COM apartment (single-threaded, as the tool's own thread has it), left at the end of
// the scope when it was entered.
class ManagedApartment {
 public:
  ManagedApartment() : entered_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ManagedApartment() {
    if (entered_) CoUninitialize();
  }
  ManagedApartment(const ManagedApartment&) = delete;
  ManagedApartment& operator=(const ManagedApartment&) = delete;

 private:
  bool entered_;
};

}  // namespace quillon
