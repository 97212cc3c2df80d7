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
#include "log/LogSite.h"
#include "platform/Progress.h"
#include "platform/Text.h"

#include <string>

using namespace quillon;

namespace {

using End = TryOutcome::End;

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
    switch (useOfAnswer(head, asked_, total_)) {
      case AnswerUse::WholePackage:
        if (!(created_ ? package_.restart() : package_.create(path_))) return endTry(End::Failed);
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
        // A server whose pieces do not fit, or are of another file, cannot be resumed from: later tries ask
        // for the whole package, and its 200 recreates the file, so no byte of two versions is ever kept.
        resumable_ = false;
        reason_ = formatText(u"ResponseCode =206 Content-Range(%s)", {head.contentRange});
        return endTry(End::MayPass);
      case AnswerUse::NoAnswer:
        reason_ = kNoResponseReason;
        return endTry(End::MayPass);
      case AnswerUse::TryAgain:
        reason_ = formatText(u"ResponseCode =%d", {head.status});
        return endTry(End::MayPass);
      case AnswerUse::Refused:
        return endTry(End::Failed);
    }
    showProgressStep(ProgressStep::Downloading);
    showDownloaded(held_, total_);
    return true;
  }

  // The user's Cancel ends the transfer between two pieces (the retry driver tells the cancel apart).
  bool onBody(const char* data, std::size_t size) override {
    if (cancelRequested()) return endTry(End::Failed);
    if (!package_.append(data, size)) return endTry(End::Failed);  // a full disk does not pass
    held_ += size;
    showDownloaded(held_, total_);
    return true;
  }

  // How the try ended, once the transfer is over.
  TryOutcome outcomeOf(const TransferResult& transfer) {
    const End end = endOf(transfer);
    return {end, reason_, retryAfter_};
  }

 private:
  End endOf(const TransferResult& transfer) {
    if (end_) return *end_;
    if (!transfer.completed) {
      reason_ = transfer.failure;
      return transfer.mayPass ? End::MayPass : End::Failed;
    }
    if (!created_) return End::Failed;
    // A connection that closes early can look like the end of the body to the platform (Wine's WinHTTP
    // reports it so), so a cut-off package is caught by its announced length too.
    if (total_ && held_ < *total_) {
      reason_ = formatText(u"Body Cut(%s/%s)", {number(held_), number(*total_)});
      return End::MayPass;
    }
    return held_ > 0 && (!total_ || held_ == *total_) ? End::Done : End::Failed;
  }

  bool endTry(End end) {
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
  std::optional<End> end_;
  std::u16string reason_;
  std::u16string retryAfter_;
};

}  // namespace

bool Helper::downloadFile(const char16_t* url, const char16_t* path, PackageFile& package) {
  Download download(path, package);
  RetrySchedule schedule(retryPolicy(kDownloadRetry), processRandom());
  const TriesEnd end = runTries(schedule, logsite::DownloadRetry, [&] {
    showProgressStep(ProgressStep::Connecting);
    const std::optional<ResumeRequest> asked = download.nextRequest();
    download.beginTry(asked);
    return download.outcomeOf(requestPackage(url, asked, download, schedule.deadline()));
  });
  return end == TriesEnd::Done && package.holdAsWritten();
}

bool Helper::downloadFile(const char16_t* url, const char16_t* path) {
  PackageFile package;
  return downloadFile(url, path, package);
}
