// Reading an installer package as the Windows Installer reads it, for the check before anything is
// uninstalled (Helper::checkAgentPackage). Windows: msi.dll. Linux: libmsi, the same database code outside
// Windows. Every call returns 0 or an error code in the Windows Installer's numbering (libmsi's result codes
// are those codes under other names; the Linux body gives them their numbers back).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quillon {

// Error codes the check itself reports.
inline constexpr unsigned kInvalidData = 13;         // ERROR_INVALID_DATA: a stream that ends early
inline constexpr unsigned kFunctionFailed = 1627;    // ERROR_FUNCTION_FAILED: the file is no database
inline constexpr unsigned kPackageInvalid = 1620;    // ERROR_INSTALL_PACKAGE_INVALID: no whole compound file

// One row of a query's result.
class PackageRecord {
 public:
  virtual ~PackageRecord() = default;
  // Field `field` (from 1) as text; empty when it is null or not a text.
  virtual std::u16string text(unsigned field) const = 0;
  // Reads stream field `field` to its end. 0 when every byte the package declares for it was read;
  // kInvalidData when it ends early or fails part-way; another code when it cannot be read at all.
  virtual unsigned readStream(unsigned field) const = 0;
};

// A package opened read-only; closed when the object ends.
class PackageDatabase {
 public:
  PackageDatabase();
  ~PackageDatabase();
  PackageDatabase(const PackageDatabase&) = delete;
  PackageDatabase& operator=(const PackageDatabase&) = delete;

  // Opens the file as an installer database (Windows: MsiVerifyPackageW first, then MsiOpenDatabaseW).
  unsigned open(const std::u16string& path);

  // Runs `query` (installer SQL) and calls `row` with each record in turn, until `row` returns non-zero.
  // Returns the first error: of the query, of a fetch, or what `row` returned.
  unsigned forEachRow(const char16_t* query, const std::function<unsigned(const PackageRecord&)>& row);

  // The value of `name` in the Property table into `value` (empty when the package has none); returns the
  // query's error.
  unsigned property(const std::u16string& name, std::u16string& value) {
    value.clear();
    const std::u16string query = u"SELECT `Value` FROM `Property` WHERE `Property` = '" + name + u"'";
    bool found = false;
    const unsigned error = forEachRow(query.c_str(), [&](const PackageRecord& record) {
      value = record.text(1);
      found = true;
      return 1u;  // the name is the table's key: the first row is the only one
    });
    return found ? 0u : error;
  }

 private:
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

}  // namespace quillon
