// Proving the downloaded package before the old agent is removed: a file that the install command could
// not apply (a proxy's HTML page, a copy cut short, a package without the transform the command asks for)
// must end the run while the PC still has its agent. What fails is logged, so that an administrator can
// tell from the run log that the server handed out a bad package.
#include "helper/Helper.h"

#include "helper/CompoundFile.h"
#include "helper/PackageDatabase.h"
#include "log/LogSite.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <set>

using namespace quillon;

namespace {

// The embedded transform the install command applies (TRANSFORMS=:1041).
constexpr char16_t kTransformName[] = u"1041";

void logFailure(const LogSite& site, const std::u16string& message) { WriteLog(site, message.c_str()); }

void logOpenFailure(unsigned error) {
  logFailure(logsite::PackageOpenFailed, formatText(u"Package Open Error(%d)", {static_cast<int>(error)}));
}

void logQueryFailure(const char16_t* table, unsigned error) {
  logFailure(logsite::PackageQueryFailed,
             formatText(u"Package Query Error(%d) %s", {static_cast<int>(error), table}));
}

// Runs a query whose rows cannot fail; a failure of the query itself is logged with the table's name.
bool query(PackageDatabase& database, const char16_t* table, const char16_t* sql,
           const std::function<void(const PackageRecord&)>& row) {
  const unsigned error = database.forEachRow(sql, [&](const PackageRecord& record) {
    row(record);
    return 0u;
  });
  if (error != 0) logQueryFailure(table, error);
  return error == 0;
}

}  // namespace

bool Helper::checkAgentPackage(const char16_t* path) {
  // The installer's database code can hang or crash on a container cut short early, so the container's map
  // is proved first; what fails it is an invalid package, as the installer calls one.
  if (!isCompleteCompoundFile(toPath(path))) {
    logOpenFailure(kPackageInvalid);
    return false;
  }
  PackageDatabase database;
  if (const unsigned error = database.open(path); error != 0) {
    logOpenFailure(error);
    return false;
  }

  // The installer identifies the product by it; a database without one is no product's package.
  std::u16string productCode;
  if (const unsigned error = database.property(u"ProductCode", productCode); error != 0) {
    logQueryFailure(u"Property", error);
    return false;
  }
  if (productCode.empty()) {
    logFailure(logsite::PackageProductCodeMissing, u"ProductCode Missing");
    return false;
  }

  // TRANSFORMS=:1041 names a storage inside the package; the installer refuses the install without it.
  bool transform = false;
  if (!query(database, u"_Storages", u"SELECT `Name` FROM `_Storages`",
             [&](const PackageRecord& record) { transform = transform || record.text(1) == kTransformName; })) {
    return false;
  }
  if (!transform) {
    logFailure(logsite::PackageTransformMissing, formatText(u"Transform %s Missing", {kTransformName}));
    return false;
  }

  // Every stream read whole: a copy cut short anywhere, also well after its tables, fails here.
  std::set<std::u16string> streams;
  bool streamFailed = false;
  std::u16string failedStream;
  const unsigned streamError =
      database.forEachRow(u"SELECT `Name`, `Data` FROM `_Streams`", [&](const PackageRecord& record) {
        const std::u16string name = record.text(1);
        streams.insert(name);
        const unsigned error = record.readStream(2);
        if (error != 0) {
          streamFailed = true;
          failedStream = name;
        }
        return error;
      });
  if (streamError != 0) {
    if (streamFailed) {
      logFailure(logsite::PackageStreamCut,
                 formatText(u"Stream Read Error(%d) %s", {static_cast<int>(streamError), failedStream}));
    } else {
      logQueryFailure(u"_Streams", streamError);
    }
    return false;
  }

  // A reader may leave out a stream that its directory entry says runs past the end of the file; the
  // embedded cabinets ("#name" in the Media table) must all be there.
  bool media = false;
  if (!query(database, u"_Tables", u"SELECT `Name` FROM `_Tables` WHERE `Name` = 'Media'",
             [&](const PackageRecord&) { media = true; })) {
    return false;
  }
  std::u16string missingCabinet;
  if (media && !query(database, u"Media", u"SELECT `Cabinet` FROM `Media`", [&](const PackageRecord& record) {
        const std::u16string cabinet = record.text(1);
        if (missingCabinet.empty() && cabinet.size() > 1 && cabinet[0] == u'#' &&
            streams.count(cabinet.substr(1)) == 0) {
          missingCabinet = cabinet.substr(1);
        }
      })) {
    return false;
  }
  if (!missingCabinet.empty()) {
    logFailure(logsite::PackageCabinetMissing, formatText(u"Cabinet Missing %s", {missingCabinet}));
    return false;
  }
  return true;
}
