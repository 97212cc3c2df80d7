// The package download's rules, the same on every platform; the GET itself is helper/PackageRequest.h's.
// Only a 200 begins the file; until one has arrived an earlier file at the path is untouched. The file is then
// created anew (helper/PackageFile.h: the old one removed, never appended to) and the body appended in order.
// A try that fails in a way that may pass is made again within the download's bound (helper/Retry.h): from
// the bytes held where the server vouches that the rest belongs to the same file (helper/Resume.h), else from
// the start, in the same file. The download has succeeded when the whole package arrived (as long as the
// server announced, where it announced a length), it is not empty, and the file holds exactly it.
#include "helper/Helper.h"
#include "helper/PackageFile.h"
#include "helper/PackageRequest.h"
#include "helper/Resume.h"
#include "helper/Retry.h"
#include "helper/RetryAfter.h"
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/Text.h"

#include <string>

using namespace quillon;

namespace {

enum class TryEnd { Complete, TryAgain, Failed, Cancelled };

std::u16string number(std::uint64_t value) { return fromUtf8(std::to_string(value)); }

// The package file across the tries, and what each try makes of it.
class Download : public PackageResponse {
 public:
  Download(const char16_t* path, PackageFile& package) : path_(path), package_(package) {}

  // What the next try asks for: the rest, when part of the package is held and the answer that began the
  // file gave both its length and a validator; otherwise the whole package.
  std::optional<ResumeRequest> nextRequest() const {
    if (!resumable_ || held_ == 0 || !total_ || !validator_) return std::nullopt;
    return ResumeRequest{held_, *validator_};
  }

  void beginTry(const std::optional<ResumeRequest>& asked) {
    asked_ = asked;
    end_.reset();
    reason_.clear();
    retryAfter_.clear();
  }

  bool onResponse(const ResponseHead& head) override {
    retryAfter_ = head.retryAfter;
    switch (useOfAnswer(head.status, head.contentRange, head.contentLength, asked_, total_)) {
      case AnswerUse::WholePackage:
        if (!(created_ ? package_.restart() : package_.create(path_))) return endTry(TryEnd::Failed);
        created_ = true;
        held_ = 0;
        total_ = head.contentLength;
        validator_ = resumeValidator(head.etag, head.lastModified);
        resumable_ = true;
        break;
      case AnswerUse::Rest:
        WriteLog(logsite::DownloadResume, formatText(u"Resume(%s/%s)", {number(held_), number(*total_)}).c_str());
        break;
      case AnswerUse::NotTheRest:
        // A server whose pieces do not fit cannot be resumed from: later tries ask for the whole package.
        resumable_ = false;
        reason_ = formatText(u"ResponseCode =206 Content-Range(%s)", {head.contentRange});
        return endTry(TryEnd::TryAgain);
      case AnswerUse::TryAgain:
        reason_ = formatText(u"ResponseCode =%d", {head.status});
        return endTry(TryEnd::TryAgain);
      case AnswerUse::Refused:
        return endTry(TryEnd::Failed);
    }
    showProgressStep(ProgressStep::Downloading);
    showDownloaded(held_, total_);
    return true;
  }

  // The user's Cancel ends the transfer between two pieces.
  bool onBody(const char* data, std::size_t size) override {
    if (cancelRequested()) return endTry(TryEnd::Cancelled);
    if (!package_.append(data, size)) return endTry(TryEnd::Failed);  // a full disk does not pass
    held_ += size;
    showDownloaded(held_, total_);
    return true;
  }

  TryEnd endOf(const TransferResult& transfer) {
    if (end_) return *end_;
    if (!transfer.completed) {
      reason_ = transfer.failure;
      return transfer.mayPass ? TryEnd::TryAgain : TryEnd::Failed;
    }
    if (!created_) return TryEnd::Failed;
    // A connection that closes early can look like the end of the body to the platform (Wine's WinHTTP
    // reports it so), so a cut-off package is caught by its announced length too.
    if (total_ && held_ < *total_) {
      reason_ = formatText(u"Body Cut(%s/%s)", {number(held_), number(*total_)});
      return TryEnd::TryAgain;
    }
    return held_ > 0 && (!total_ || held_ == *total_) ? TryEnd::Complete : TryEnd::Failed;
  }

  const std::u16string& reason() const { return reason_; }
  const std::u16string& retryAfter() const { return retryAfter_; }

 private:
  bool endTry(TryEnd end) {
    end_ = end;
    return false;
  }

  std::u16string path_;
  PackageFile& package_;
  // The file: whether it was created, the bytes it holds, and of the answer that began it the announced
  // length and the validator.
  bool created_ = false;
  std::uint64_t held_ = 0;
  std::optional<std::uint64_t> total_;
  std::optional<std::u16string> validator_;
  bool resumable_ = true;
  // The try under way.
  std::optional<ResumeRequest> asked_;
  std::optional<TryEnd> end_;
  std::u16string reason_;
  std::u16string retryAfter_;
};

}  // namespace

bool Helper::downloadFile(const char16_t* url, const char16_t* path, PackageFile& package) {
  Download download(path, package);
  RetrySchedule schedule(retryPolicy(kDownloadRetry), processRandom());
  const auto deadline = std::chrono::steady_clock::now() + retryPolicy(kDownloadRetry).window;
  for (;;) {
    showProgressStep(ProgressStep::Connecting);
    const std::optional<ResumeRequest> asked = download.nextRequest();
    download.beginTry(asked);
    const TryEnd end = download.endOf(requestPackage(url, asked, download, deadline));
    if (end == TryEnd::Complete) return package.holdAsWritten();
    if (end != TryEnd::TryAgain || cancelRequested()) return false;

    const auto pause = schedule.nextPause(parseRetryAfter(download.retryAfter(), std::chrono::system_clock::now()));
    if (!pause) return false;
    WriteLog(logsite::DownloadRetry, retryLogText(download.reason(), *pause).c_str());
    if (!waitBeforeRetry(*pause)) return false;  // the user stopped the run
  }
}

bool Helper::downloadFile(const char16_t* url, const char16_t* path) {
  PackageFile package;
  return downloadFile(url, path, package);
}
