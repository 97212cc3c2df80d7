// What the fuzz targets make of libFuzzer's bytes. Texts are UTF-8, so the seeds stay readable and the
// mutations work on the keywords the parsers look for; two bytes that UTF-8 never uses widen the reach:
// FF hh ll is the UTF-16 code unit hhll (a lone surrogate, a NUL), and FE separates the fields of a target
// that takes several texts.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::fuzz {

inline std::u16string decodeText(std::string_view bytes) {
  std::u16string text;
  for (;;) {
    const std::size_t escape = bytes.find('\xFF');
    text += fromUtf8(bytes.substr(0, escape));
    if (escape == std::string_view::npos) return text;
    bytes.remove_prefix(escape + 1);
    if (bytes.size() < 2) return text;
    text += fromUtf16be(bytes.substr(0, 2));
    bytes.remove_prefix(2);
  }
}

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

inline std::u16string textOf(const std::uint8_t* data, std::size_t size) { return decodeText(bytesOf(data, size)); }

// The texts between FE bytes; always at least `count` of them, the missing ones empty.
inline std::vector<std::u16string> fieldsOf(const std::uint8_t* data, std::size_t size, std::size_t count) {
  std::vector<std::u16string> fields;
  std::string_view bytes = bytesOf(data, size);
  for (;;) {
    const std::size_t separator = bytes.find('\xFE');
    fields.push_back(decodeText(bytes.substr(0, separator)));
    if (separator == std::string_view::npos) break;
    bytes.remove_prefix(separator + 1);
  }
  if (fields.size() < count) fields.resize(count);
  return fields;
}

// A broken property: says which and ends the run, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const char* what, std::u16string_view detail = {}) {
  std::fprintf(stderr, "property violated: %s\n", what);
  if (!detail.empty()) std::fprintf(stderr, "  %s\n", toUtf8(detail).c_str());
  std::abort();
}

inline void check(bool holds, const char* what, std::u16string_view detail = {}) {
  if (!holds) fail(what, detail);
}

}  // namespace quillon::fuzz
