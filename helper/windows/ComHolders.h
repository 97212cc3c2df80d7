// Windows only: owners of the OLE automation values the configuration-script request passes to and gets
// from its COM object, and of the apartment of the thread it runs on. COM interface pointers themselves are
// held by Microsoft::WRL::ComPtr.
#pragma once

#include "platform/windows/WindowsSupport.h"

#include <ole2.h>

namespace quillon {

// A BSTR, freed with SysFreeString.
using ManagedBstr = ManagedResource<BSTR, SysFreeString>;

// The calling thread's COM apartment (single-threaded, as the tool's own thread has it), held as whether
// CoInitialize entered it: left at the end of the scope only then.
inline void leaveApartment(bool) { CoUninitialize(); }
using ManagedApartment = ManagedResource<bool, leaveApartment>;

// A VARIANT, cleared with VariantClear. A class of its own: the template holds a value it compares with an
// empty one, and a VARIANT is a structure that is initialised and cleared in place, through its address.
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

}  // namespace quillon
