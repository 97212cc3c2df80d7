// Linux body of the package reader: libmsi (msitools), which reads installer databases with the Windows
// Installer's own rules. Its result codes are the installer's under other names; they get their numbers back
// here, so that both builds report a package's faults alike.
#include "helper/PackageDatabase.h"

#include "platform/ManagedResource.h"
#include "platform/Text.h"

#include <libmsi.h>

#include <vector>

namespace quillon {

namespace {

// A GObject reference (database, query, record, stream), released with g_object_unref.
template <typename T>
using ManagedGObject = ManagedResource<T*, g_object_unref>;

// A GError a call may set, freed when the holder ends.
using ManagedGError = ManagedResource<GError*, g_error_free>;

// The installer's code for an error: libmsi's results in their Windows numbering. A failure without a result
// of libmsi's (its reader gave up on the file) is what msi.dll reports then, ERROR_FUNCTION_FAILED.
unsigned installerCode(const ManagedGError& error) {
  const GError* set = error.get();
  if (set == nullptr || set->domain != LIBMSI_RESULT_ERROR) return kFunctionFailed;
  switch (set->code) {
    case LIBMSI_RESULT_ACCESS_DENIED: return 5;
    case LIBMSI_RESULT_INVALID_HANDLE: return 6;
    case LIBMSI_RESULT_NOT_ENOUGH_MEMORY: return 8;
    case LIBMSI_RESULT_INVALID_DATA: return kInvalidData;
    case LIBMSI_RESULT_OUTOFMEMORY: return 14;
    case LIBMSI_RESULT_INVALID_PARAMETER: return 87;
    case LIBMSI_RESULT_OPEN_FAILED: return 110;
    case LIBMSI_RESULT_CALL_NOT_IMPLEMENTED: return 120;
    case LIBMSI_RESULT_MORE_DATA: return 234;
    case LIBMSI_RESULT_NOT_FOUND: return 1168;
    case LIBMSI_RESULT_CONTINUE: return 1246;
    case LIBMSI_RESULT_UNKNOWN_PROPERTY: return 1608;
    case LIBMSI_RESULT_BAD_QUERY_SYNTAX: return 1615;
    case LIBMSI_RESULT_INVALID_FIELD: return 1616;
    case LIBMSI_RESULT_INVALID_TABLE: return 1628;
    case LIBMSI_RESULT_DATATYPE_MISMATCH: return 1629;
    case LIBMSI_RESULT_INVALID_DATATYPE: return 1804;
    default: return kFunctionFailed;
  }
}

// The reader's libraries complain on standard error about a damaged file; the check reports the fault in
// the run log instead, so their messages are dropped while a package is read: the holder keeps the handler
// they had before, and puts it back.
void dropMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}
void restoreMessageHandler(GLogFunc previous) { g_log_set_default_handler(previous, nullptr); }
using ManagedMessageHandler = ManagedResource<GLogFunc, restoreMessageHandler>;

class Record : public PackageRecord {
 public:
  explicit Record(LibmsiRecord* record) : record_(record) {}

  std::u16string text(unsigned field) const override {
    gchar* value = libmsi_record_get_string(record_, field);
    if (value == nullptr) return u"";
    std::u16string text = fromUtf8(value);
    g_free(value);
    return text;
  }

  unsigned readStream(unsigned field) const override {
    // libmsi leaves out a stream whose declared size runs past the end of the file (the check then misses
    // a cabinet) and fails the read of one whose sectors are cut off.
    ManagedGObject<GInputStream> stream(libmsi_record_get_stream(record_, field));
    if (stream.get() == nullptr) return kInvalidData;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
      ManagedGError error;
      const gssize read = g_input_stream_read(stream.get(), chunk.data(), chunk.size(), nullptr, error.receive());
      if (read < 0) return kInvalidData;
      if (read == 0) return 0;
    }
  }

 private:
  LibmsiRecord* record_;
};

}  // namespace

struct PackageDatabase::Handles {
  ManagedMessageHandler quiet{g_log_set_default_handler(dropMessage, nullptr)};
  ManagedGObject<LibmsiDatabase> database;
};

PackageDatabase::PackageDatabase() : handles_(std::make_unique<Handles>()) {}
PackageDatabase::~PackageDatabase() = default;

unsigned PackageDatabase::open(const std::u16string& path) {
  ManagedGError error;
  handles_->database.reset(
      libmsi_database_new(toUtf8(path).c_str(), LIBMSI_DB_FLAGS_READONLY, nullptr, error.receive()));
  return handles_->database.get() != nullptr ? 0 : installerCode(error);
}

unsigned PackageDatabase::forEachRow(const char16_t* query,
                                     const std::function<unsigned(const PackageRecord&)>& row) {
  ManagedGError error;
  ManagedGObject<LibmsiQuery> view(libmsi_query_new(handles_->database.get(), toUtf8(query).c_str(), error.receive()));
  if (view.get() == nullptr) return installerCode(error);
  if (!libmsi_query_execute(view.get(), nullptr, error.receive())) return installerCode(error);
  for (;;) {
    ManagedGError fetchError;
    ManagedGObject<LibmsiRecord> record(libmsi_query_fetch(view.get(), fetchError.receive()));
    if (record.get() == nullptr) {
      // The end of the rows is a "no more items" result, not a failure.
      return fetchError.get() == nullptr || installerCode(fetchError) == 1168 ? 0 : installerCode(fetchError);
    }
    if (const unsigned failed = row(Record(record.get())); failed != 0) return failed;
  }
}

}  // namespace quillon
