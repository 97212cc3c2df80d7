// The package download's rules, the same on every platform; the GET itself is helper/PackageRequest.h's.
// Only a 200 counts; until it has arrived an earlier file at the path is untouched. The file is then created
// anew (helper/PackageFile.h: the old one removed, never appended to) and the body appended in order. The
// download has succeeded when the whole body arrived (as long as the server announced, where it announced a
// length), it is not empty, and the file holds exactly it.
#include "helper/Helper.h"
#include "helper/PackageFile.h"
#include "helper/PackageRequest.h"

#include <string>

using namespace quillon;

namespace {

class Download : public PackageResponse {
 public:
  Download(const char16_t* path, PackageFile& package) : path_(path), package_(package) {}

  bool onResponse(long status, std::optional<std::uint64_t> announcedLength) override {
    announced_ = announcedLength;
    created_ = status == 200 && package_.create(path_);
    return created_;
  }

  bool onBody(const char* data, std::size_t size) override {
    received_ += size;
    return package_.append(data, size);
  }

  // A connection that closes early can look like the end of the body to the platform (Wine's WinHTTP reports
  // it so), so a cut-off package is caught by its announced length too.
  bool succeeded(bool transferEnded) {
    return transferEnded && created_ && received_ > 0 && (!announced_ || received_ == *announced_) &&
           package_.holdAsWritten();
  }

 private:
  std::u16string path_;
  PackageFile& package_;
  std::optional<std::uint64_t> announced_;
  std::uint64_t received_ = 0;
  bool created_ = false;
};

}  // namespace

bool Helper::downloadFile(const char16_t* url, const char16_t* path, PackageFile& package) {
  Download download(path, package);
  return download.succeeded(requestPackage(url, download));
}

bool Helper::downloadFile(const char16_t* url, const char16_t* path) {
  PackageFile package;
  return downloadFile(url, path, package);
}
