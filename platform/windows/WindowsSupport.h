// The one way Windows bodies include <windows.h>. Shared headers never include it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/ManagedResource.h"

#include <string>
#include <string_view>

namespace quillon {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

// The shared code holds UTF-16 as char16_t; Windows takes the same units as wchar_t.
inline const wchar_t* asWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* asWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const char16_t* asText(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
inline std::wstring toWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::u16string fromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// A kernel object handle (process, thread, file, mutex), closed with CloseHandle when the holder ends. Either
// "no handle" value (null, or INVALID_HANDLE_VALUE as CreateFileW reports a failure) is left alone.
inline void closeKernelHandle(HANDLE handle) {
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}
using ManagedKernelHandle = ManagedResource<HANDLE, closeKernelHandle>;

}  // namespace quillon
