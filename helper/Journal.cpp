// The journal's format: writing it, and reading it back strictly (helper/Journal.h).
#include "helper/Journal.h"

#include "platform/Text.h"

#include <algorithm>
#include <vector>

namespace quillon {
namespace {

constexpr std::string_view kMagic = "QuillonMigrationTool Journal\n";
constexpr std::string_view kFormatKey = "Format=";
constexpr std::string_view kSealKey = "Seal=";
constexpr std::size_t kDigestHexLength = 64;
// Longer values than these are never written: a journal that holds one was not made by this writer.
constexpr std::size_t kTextLimit = 2048;
constexpr std::size_t kCodesHexLimit = 16384;
constexpr unsigned kAttemptsLimit = 1000;

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool isDecimal(std::string_view text) {
  return !text.empty() && text.size() <= 19 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}
bool isUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// A product code as the Windows Installer writes one: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
bool isGuid(std::u16string_view text) {
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != u'-' : !(text[i] < 0x80 && isUpperHexDigit(static_cast<char>(text[i])))) return false;
  }
  return true;
}

// "5.1.0": three decimal numbers, or empty.
bool isVersionText(std::u16string_view text) {
  if (text.empty()) return true;
  unsigned dots = 0;
  bool digit = false;
  for (char16_t c : text) {
    if (c == u'.') {
      if (!digit) return false;
      ++dots;
      digit = false;
    } else if (c >= u'0' && c <= u'9') {
      digit = true;
    } else {
      return false;
    }
  }
  return dots == 2 && digit && text.size() <= 40;
}

// A text fit for one line: no control character, not too long, and UTF-8 that reads back as itself.
bool isLineText(std::string_view text) {
  return text.size() <= kTextLimit && isValidUtf8(text) &&
         std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

const char* stepName(JournalStep step) { return step == JournalStep::Install ? "Install" : "Uninstall"; }

std::string digestHex(const Sha256Digest& digest) {
  return toHex(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

// The lines between the format line and the seal, in order.
constexpr const char* kFieldNames[] = {"Step",       "Attempts",  "OldProductCode", "OldVersion",   "NewProductCode",
                                       "ServerUrl",  "Codes",     "PackageSize",    "PackageSha256"};

}  // namespace

const char16_t* journalDefectName(JournalDefect defect) {
  switch (defect) {
    case JournalDefect::None: return u"None";
    case JournalDefect::Cut: return u"Cut";
    case JournalDefect::NotAJournal: return u"Not A Journal";
    case JournalDefect::OtherFormat: return u"Other Format";
    case JournalDefect::SealMismatch: return u"Seal Mismatch";
    case JournalDefect::BadField: break;
  }
  return u"Bad Field";
}

std::string toHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::optional<std::string> fromHex(std::string_view hex) {
  if (hex.size() % 2 != 0 || !std::all_of(hex.begin(), hex.end(), isHexDigit)) return std::nullopt;
  auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    bytes += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
  }
  return bytes;
}

std::optional<Sha256Digest> sha256Of(std::string_view bytes) {
  Sha256 hash;
  hash.update(bytes.data(), bytes.size());
  return hash.finish();
}

std::optional<std::string> formatJournal(const ReplacementJournal& journal) {
  const std::string oldVersion = toUtf8(journal.oldVersion);
  const std::string serverUrl = toUtf8(journal.serverUrl);
  if (!isGuid(journal.oldProductCode) || !isGuid(journal.newProductCode) || !isVersionText(journal.oldVersion) ||
      serverUrl.empty() || !isLineText(serverUrl) || journal.protectedCodes.size() * 2 > kCodesHexLimit ||
      journal.attempts >= kAttemptsLimit || journal.packageSize == 0) {
    return std::nullopt;
  }
  std::string text(kMagic);
  text += std::string(kFormatKey) + std::to_string(kJournalFormat) + "\n";
  text += std::string("Step=") + stepName(journal.step) + "\n";
  text += "Attempts=" + std::to_string(journal.attempts) + "\n";
  text += "OldProductCode=" + toUtf8(journal.oldProductCode) + "\n";
  text += "OldVersion=" + oldVersion + "\n";
  text += "NewProductCode=" + toUtf8(journal.newProductCode) + "\n";
  text += "ServerUrl=" + serverUrl + "\n";
  text += "Codes=" + toHex(journal.protectedCodes) + "\n";
  text += "PackageSize=" + std::to_string(journal.packageSize) + "\n";
  text += "PackageSha256=" + digestHex(journal.packageSha256) + "\n";
  const std::optional<Sha256Digest> seal = sha256Of(text);
  if (!seal) return std::nullopt;
  text += std::string(kSealKey) + digestHex(*seal) + "\n";
  return text;
}

JournalDefect parseJournal(std::string_view bytes, ReplacementJournal& journal) {
  // What begins as the journal's first line but stops short of it is a journal cut early.
  if (bytes.size() < kMagic.size()) {
    return kMagic.substr(0, bytes.size()) == bytes ? JournalDefect::Cut : JournalDefect::NotAJournal;
  }
  if (bytes.substr(0, kMagic.size()) != kMagic) return JournalDefect::NotAJournal;

  // The format line comes next, whole, before anything else is judged: another format may be laid out
  // otherwise from here on.
  std::string_view rest = bytes.substr(kMagic.size());
  const std::size_t formatEnd = rest.find('\n');
  if (formatEnd == std::string_view::npos) {
    return kFormatKey.substr(0, std::min(rest.size(), kFormatKey.size())) == rest.substr(0, kFormatKey.size())
               ? JournalDefect::Cut
               : JournalDefect::NotAJournal;
  }
  const std::string_view formatLine = rest.substr(0, formatEnd);
  if (formatLine.substr(0, kFormatKey.size()) != kFormatKey) return JournalDefect::NotAJournal;
  if (formatLine.substr(kFormatKey.size()) != std::to_string(kJournalFormat)) return JournalDefect::OtherFormat;

  // The seal is the last line: a journal without it whole was cut.
  if (bytes.back() != '\n') return JournalDefect::Cut;
  const std::size_t sealStart = bytes.rfind('\n', bytes.size() - 2) + 1;
  const std::string_view sealLine = bytes.substr(sealStart, bytes.size() - 1 - sealStart);
  if (sealLine.substr(0, kSealKey.size()) != kSealKey) return JournalDefect::Cut;
  const std::string_view sealHex = sealLine.substr(kSealKey.size());
  if (sealHex.size() != kDigestHexLength) return JournalDefect::Cut;
  const std::optional<Sha256Digest> seal = sha256Of(bytes.substr(0, sealStart));
  if (!seal || digestHex(*seal) != sealHex) return JournalDefect::SealMismatch;

  // The fields, each once, in order.
  std::vector<std::string_view> values;
  std::string_view fields = bytes.substr(kMagic.size() + formatEnd + 1, sealStart - kMagic.size() - formatEnd - 1);
  for (const char* name : kFieldNames) {
    const std::size_t end = fields.find('\n');
    if (end == std::string_view::npos) return JournalDefect::BadField;
    const std::string_view line = fields.substr(0, end);
    const std::string prefix = std::string(name) + "=";
    if (line.substr(0, prefix.size()) != prefix) return JournalDefect::BadField;
    values.push_back(line.substr(prefix.size()));
    fields.remove_prefix(end + 1);
  }
  if (!fields.empty()) return JournalDefect::BadField;

  ReplacementJournal read;
  if (values[0] == "Uninstall") {
    read.step = JournalStep::Uninstall;
  } else if (values[0] == "Install") {
    read.step = JournalStep::Install;
  } else {
    return JournalDefect::BadField;
  }
  if (!isDecimal(values[1]) || values[1].size() > 3 || std::stoul(std::string(values[1])) >= kAttemptsLimit) {
    return JournalDefect::BadField;
  }
  read.attempts = static_cast<unsigned>(std::stoul(std::string(values[1])));
  for (std::size_t i : {2, 3, 4, 5}) {
    if (!isLineText(values[i])) return JournalDefect::BadField;
  }
  read.oldProductCode = fromUtf8(values[2]);
  read.oldVersion = fromUtf8(values[3]);
  read.newProductCode = fromUtf8(values[4]);
  read.serverUrl = fromUtf8(values[5]);
  if (!isGuid(read.oldProductCode) || !isVersionText(read.oldVersion) || !isGuid(read.newProductCode) ||
      read.serverUrl.empty()) {
    return JournalDefect::BadField;
  }
  if (values[6].size() > kCodesHexLimit) return JournalDefect::BadField;
  const std::optional<std::string> codes = fromHex(values[6]);
  if (!codes) return JournalDefect::BadField;
  read.protectedCodes = *codes;
  if (!isDecimal(values[7]) || values[7][0] == '0') return JournalDefect::BadField;
  read.packageSize = std::stoull(std::string(values[7]));
  const std::optional<std::string> digest = values[8].size() == kDigestHexLength ? fromHex(values[8]) : std::nullopt;
  if (!digest) return JournalDefect::BadField;
  std::copy(digest->begin(), digest->end(), read.packageSha256.begin());
  journal = std::move(read);
  return JournalDefect::None;
}

}  // namespace quillon
