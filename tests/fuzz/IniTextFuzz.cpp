// The settings reader's parse of a decoded Auth.ini text, asked what the tool asks. A value is a piece of
// one line of the text, and the first section of the name decides: sections before it or after it, of
// other names, change nothing.
#include "platform/IniFile.h"
#include "tests/fuzz/FuzzInput.h"

using namespace quillon;
using namespace quillon::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = textOf(data, size);
  for (const char16_t* key : {u"CompanyName", u"CompanyCode", u"CertCode"}) {
    const std::u16string value = findIniValue(text, u"CERT", key);
    check(value.find_first_of(u"\r\n") == std::u16string::npos, "a value stays on its line", text);
    check(text.find(value) != std::u16string::npos, "a value is a piece of the text", text);

    const std::u16string before = u"[Other]\r\n" + std::u16string(key) + u"=before\r\n";
    check(findIniValue(before + text, u"CERT", key) == value, "a section before changes nothing", text);
    const std::u16string after = u"\n[Other]\n" + std::u16string(key) + u"=after\n[CERT]\n" + key + u"=later\n";
    check(findIniValue(text + after, u"CERT", key) == value || value.empty(),
          "only a key the text lacks can come from after it", text);
  }
  return 0;
}
