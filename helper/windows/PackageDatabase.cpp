// Windows body of the package reader: msi.dll, the Windows Installer's own database functions.
#include "helper/PackageDatabase.h"

#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <msi.h>
#include <msiquery.h>

#include <vector>

namespace quillon {

namespace {

// An installer handle (database, view, record), closed with MsiCloseHandle when the holder ends.
using ManagedMsiHandle = ManagedResource<MSIHANDLE, MsiCloseHandle>;

class Record : public PackageRecord {
 public:
  explicit Record(MSIHANDLE record) : record_(record) {}

  std::u16string text(unsigned field) const override {
    DWORD length = 0;
    wchar_t empty[1] = {};
    if (MsiRecordGetStringW(record_, field, empty, &length) != ERROR_MORE_DATA) return u"";
    std::vector<wchar_t> buffer(length + 1);
    length = static_cast<DWORD>(buffer.size());
    if (MsiRecordGetStringW(record_, field, buffer.data(), &length) != ERROR_SUCCESS) return u"";
    return fromWide(std::wstring_view(buffer.data(), length));
  }

  unsigned readStream(unsigned field) const override {
    // The size the package's directory declares; a copy cut short reads fewer bytes without an error.
    const unsigned long long declared = MsiRecordDataSize(record_, field);
    std::vector<char> chunk(64 * 1024);
    unsigned long long total = 0;
    for (;;) {
      DWORD read = static_cast<DWORD>(chunk.size());
      const UINT error = MsiRecordReadStream(record_, field, chunk.data(), &read);
      if (error != ERROR_SUCCESS) return total > 0 ? kInvalidData : error;
      if (read == 0) break;
      total += read;
    }
    return total == declared ? 0 : kInvalidData;
  }

 private:
  MSIHANDLE record_;
};

}  // namespace

struct PackageDatabase::Handles {
  ManagedMsiHandle database;
};

PackageDatabase::PackageDatabase() : handles_(std::make_unique<Handles>()) {}
PackageDatabase::~PackageDatabase() = default;

unsigned PackageDatabase::open(const std::u16string& path) {
  if (loadSystemLibrary("msi.dll") == nullptr) return GetLastError();
  if (const UINT error = MsiVerifyPackageW(asWide(path.c_str())); error != ERROR_SUCCESS) return error;
  return MsiOpenDatabaseW(asWide(path.c_str()), MSIDBOPEN_READONLY, handles_->database.receive());
}

unsigned PackageDatabase::forEachRow(const char16_t* query,
                                     const std::function<unsigned(const PackageRecord&)>& row) {
  ManagedMsiHandle view;
  if (const UINT error = MsiDatabaseOpenViewW(handles_->database.get(), asWide(query), view.receive());
      error != ERROR_SUCCESS) {
    return error;
  }
  if (const UINT error = MsiViewExecute(view.get(), 0); error != ERROR_SUCCESS) return error;
  for (;;) {
    ManagedMsiHandle record;
    const UINT error = MsiViewFetch(view.get(), record.receive());
    if (error == ERROR_NO_MORE_ITEMS) return 0;
    if (error != ERROR_SUCCESS) return error;
    if (const unsigned failed = row(Record(record.get())); failed != 0) return failed;
  }
}

}  // namespace quillon
