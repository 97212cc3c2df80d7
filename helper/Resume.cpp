#include "helper/Resume.h"

#include "helper/ContentLength.h"
#include "helper/PackageRequest.h"
#include "helper/Retry.h"
#include "platform/Text.h"

namespace quillon {

namespace {

// A value that goes back to the server in a request header: printable ASCII only.
bool printable(std::u16string_view text) {
  for (const char16_t c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

}  // namespace

std::optional<std::u16string> resumeValidator(std::u16string_view etag, std::u16string_view lastModified) {
  etag = trimBlanks(etag);
  if (!etag.empty()) {
    const bool strong = etag.size() >= 2 && etag.front() == u'"' && etag.back() == u'"' && printable(etag) &&
                        etag.substr(1, etag.size() - 2).find(u'"') == std::u16string_view::npos;
    if (!strong) return std::nullopt;
    return std::u16string(etag);
  }
  lastModified = trimBlanks(lastModified);
  if (!lastModified.empty() && printable(lastModified)) return std::u16string(lastModified);
  return std::nullopt;
}

std::optional<ContentRange> parseContentRange(std::u16string_view text) {
  text = trimBlanks(text);
  const std::size_t blank = text.find(u' ');
  if (blank == std::u16string_view::npos || !equalsIgnoringAsciiCase(text.substr(0, blank), u"bytes")) {
    return std::nullopt;
  }
  text.remove_prefix(blank + 1);
  const std::size_t dash = text.find(u'-');
  const std::size_t slash = text.find(u'/');
  if (dash == std::u16string_view::npos || slash == std::u16string_view::npos || slash < dash) return std::nullopt;
  const auto first = parseContentLength(text.substr(0, dash));
  const auto last = parseContentLength(text.substr(dash + 1, slash - dash - 1));
  const auto total = parseContentLength(text.substr(slash + 1));
  if (!first || !last || !total || *last < *first || *last >= *total) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

AnswerUse useOfAnswer(const ResponseHead& head, const std::optional<ResumeRequest>& asked,
                      std::optional<std::uint64_t> total) {
  if (head.status == 0) return AnswerUse::NoAnswer;
  if (head.status == 200) return AnswerUse::WholePackage;
  if (head.status == 206 && asked) {
    // The same file: the validator it names for itself is the one sent, so an ETag only for an ETag and a
    // Last-Modified only where neither answer has an ETag.
    const bool sameFile = resumeValidator(head.etag, head.lastModified) == asked->ifRange;
    // The rest exactly: from the first byte not held to the last of the same whole, and a body just that long.
    const std::optional<ContentRange> range = parseContentRange(head.contentRange);
    const bool rest = range && total && range->first == asked->from && range->total == *total &&
                      range->last + 1 == *total &&
                      (!head.contentLength || *head.contentLength == *total - asked->from);
    return sameFile && rest ? AnswerUse::Rest : AnswerUse::NotTheRest;
  }
  return statusMayPass(head.status) ? AnswerUse::TryAgain : AnswerUse::Refused;
}

}  // namespace quillon
