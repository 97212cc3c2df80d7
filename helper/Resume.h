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
// W/"..."), or its Last-Modified when it gave no ETag at all. A weak ETag vouches only for "much the same"
// content, never for the same bytes, and where there is one a date does not stand in for it (the server has
// said which validator counts). Nothing then, and a cut download starts over.
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

struct ResponseHead;

// How the download takes the head of an answer.
enum class AnswerUse {
  WholePackage,  // 200: the file holds the package from its first byte (a held part is dropped)
  Rest,          // 206 to a resumed request: the rest of the same file, exactly after the held bytes
  NotTheRest,    // 206 that does not continue the held bytes: a failed try; later tries ask for the whole
  NoAnswer,      // status 0: no HTTP answer came at all (a connection reset, say); a failure that may pass
  TryAgain,      // a status that may pass (408, 429, 500, 502, 503, 504)
  Refused,       // any other status: the download's outcome
};

// `asked`: the resumed request (nothing: the whole package was asked for); `total`: the package's length as
// the answer that began the file announced it. A 206 is the rest only when it vouches for the same file
// itself: its own validator equals the one sent in If-Range (a cache that ignores If-Range serves a range of
// whatever it holds now), and its Content-Range and length run from the held bytes to the same total's end.
AnswerUse useOfAnswer(const ResponseHead& head, const std::optional<ResumeRequest>& asked,
                      std::optional<std::uint64_t> total);

}  // namespace quillon
