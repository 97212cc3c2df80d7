// Resuming a package download that was cut: the request for the rest, and which answers are the rest of the
// same file. A package that arrives in pieces must still be byte for byte the server's one file, so a piece
// is taken only when the server itself vouches, through If-Range, that the file has not changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// What a resumed request asks for: the package's bytes from `from` on (Range: bytes=FROM-), if it is still
// the file that `ifRange` names (If-Range: the validator of the answer that began the file).
struct ResumeRequest {
  std::uint64_t from = 0;
  std::u16string ifRange;
};

// The validator that lets a cut download go on: the answer's ETag when it is strong (a quoted text, not
// W/"..."), else its Last-Modified; nothing with neither, and then a cut download starts over.
std::optional<std::u16string> resumeValidator(std::u16string_view etag, std::u16string_view lastModified);

// A Content-Range of a satisfied range, "bytes FIRST-LAST/TOTAL".
struct ContentRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
  std::uint64_t total = 0;
};
// Nothing for an unknown total ("/*"), an unsatisfied range ("*/TOTAL"), a range that does not lie within its
// total, or anything malformed.
std::optional<ContentRange> parseContentRange(std::u16string_view text);

// How the download takes the head of an answer.
enum class AnswerUse {
  WholePackage,  // 200: the file holds the package from its first byte (a held part is dropped)
  Rest,          // 206 to a resumed request, continuing exactly at the held bytes with the same total
  NotTheRest,    // 206 that does not continue the held bytes: a failed try; later tries ask for the whole
  TryAgain,      // a status that may pass (408, 429, 500, 502, 503, 504)
  Refused,       // any other status: the download's outcome
};

// `asked`: the resumed request's range (nothing: the whole package was asked for); `total`: the package's
// length as the answer that began the file announced it; `contentLength`: this answer's announced body.
AnswerUse useOfAnswer(long status, std::u16string_view contentRange, std::optional<std::uint64_t> contentLength,
                      const std::optional<ResumeRequest>& asked, std::optional<std::uint64_t> total);

}  // namespace quillon
