// The journal and the finishing task on the PC (helper/ReplacementJournal.h).
#include "helper/ReplacementJournal.h"

#include "helper/BuildConstants.h"
#include "helper/PackageDatabase.h"
#include "helper/ToolCopy.h"
#include "log/LogSite.h"
#include "platform/DurableFile.h"
#include "platform/FinishTask.h"
#include "platform/Paths.h"
#include "platform/ProtectedData.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/WholeFile.h"

namespace quillon {
namespace {

constexpr std::size_t kRegistryTextCapacity = 261;  // 260 characters and the terminator

void logNotKept(const char16_t* what, int error) {
  WriteLog(logsite::ReplaceJournalNotKept, formatText(u"Journal Not Kept(%s Error(%d))", {what, error}).c_str());
}

std::u16string versionText(const AgentVersion& version) {
  return formatText(u"%d.%d.%d", {version.major, version.minor, version.build});
}

}  // namespace

std::u16string hexCode(int code) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text = u"0x";
  const auto value = static_cast<std::uint32_t>(code);
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 15];
  return text;
}

std::u16string journalFile(const std::u16string& folder) { return pathText(toPath(folder) / toPath(kJournalFileName)); }

std::u16string journalPackageFile(const std::u16string& folder) {
  return pathText(toPath(folder) / toPath(kJournalPackageFileName));
}

int writeJournal(const std::u16string& folder, const ReplacementJournal& journal) {
  const std::optional<std::string> bytes = formatJournal(journal);
  if (!bytes) return kJournalUnformattable;
  return replaceFileDurably(journalFile(folder), *bytes);
}

int removeJournalFiles(const std::u16string& folder) {
  if (const int error = removeFileDurably(journalFile(folder)); error != 0) return error;
  return removeFileDurably(journalPackageFile(folder));
}

int protectCodes(const std::u16string& companyCode, const std::u16string& certCode, std::string& protectedBytes) {
  // The codes come from Auth.ini's lines, which hold no NUL: one NUL parts them.
  const std::string plain = toUtf8(companyCode) + std::string(1, '\0') + toUtf8(certCode);
  return protectForMachine(plain, protectedBytes);
}

int unprotectCodes(const std::string& protectedBytes, std::u16string& companyCode, std::u16string& certCode) {
  std::string plain;
  if (const int error = unprotectForMachine(protectedBytes, plain); error != 0) return error;
  const std::size_t nul = plain.find('\0');
  if (nul == std::string::npos || plain.find('\0', nul + 1) != std::string::npos) return kErrorInvalidData;
  companyCode = fromUtf8(std::string_view(plain).substr(0, nul));
  certCode = fromUtf8(std::string_view(plain).substr(nul + 1));
  return 0;
}

int installedProductCode(std::u16string& productCode) {
  if (!Helper::isAgentInstalled()) return 2;
  RegistryKey key;
  if (const int error = key.open(AgentRegistryKey); error != 0) return error;
  char16_t code[kRegistryTextCapacity];
  if (const int error = Helper::readRegistryString(key, u"ProductCode", code, kRegistryTextCapacity); error != 0) {
    return error;
  }
  productCode = code;
  return 0;
}

InstalledAgent installedAgent(const ReplacementJournal* journal) {
  if (!Helper::isAgentInstalled()) return InstalledAgent::None;
  std::u16string code;
  if (journal == nullptr || installedProductCode(code) != 0) return InstalledAgent::Other;
  // The Windows Installer writes product codes in upper case; a journal's may be either.
  if (equalsIgnoringAsciiCase(code, journal->newProductCode)) return InstalledAgent::New;
  if (equalsIgnoringAsciiCase(code, journal->oldProductCode)) return InstalledAgent::Old;
  return InstalledAgent::Other;
}

void ReplacementSafeguard::keep(const std::u16string& packagePath, const AgentVersion* oldVersion,
                                const AuthSettings& settings) {
  folder_ = openToolDataFolder();
  if (folder_.state != AdminFolder::State::Ready) {
    const std::u16string message = folder_.state == AdminFolder::State::Refused
                                       ? formatText(u"Journal Folder Refused(%s)", {folder_.path})
                                       : formatText(u"Journal Folder Error(%d)", {folder_.error});
    WriteLog(logsite::ReplaceJournalFolderOff, message.c_str());
    return;
  }

  ReplacementJournal journal;
  if (const int error = installedProductCode(journal.oldProductCode); error != 0) {
    logNotKept(u"ProductCode", error);
    return;
  }
  // The version is for the log only: one the journal's format cannot carry (a sign) is left out.
  if (oldVersion != nullptr && oldVersion->major >= 0 && oldVersion->minor >= 0 && oldVersion->build >= 0) {
    journal.oldVersion = versionText(*oldVersion);
  }
  journal.serverUrl = kAgentEndpointUrl;

  // The package as proved: its ProductCode names the agent the run installs, and its bytes are copied, with
  // their hash, where only administrators can change them.
  {
    PackageDatabase database;
    unsigned error = database.open(packagePath);
    if (error == 0) error = database.property(u"ProductCode", journal.newProductCode);
    if (error != 0) {
      logNotKept(u"Package", static_cast<int>(error));
      return;
    }
  }
  std::string package;
  if (!readWholeFile(toPath(packagePath), package, Sharing::Shared, kJournalPackageLimit) || package.empty()) {
    logNotKept(u"Package Read", kErrorInvalidData);
    return;
  }
  const std::optional<Sha256Digest> digest = sha256Of(package);
  if (!digest) {
    logNotKept(u"Package Hash", kErrorInvalidData);
    return;
  }
  journal.packageSha256 = *digest;
  journal.packageSize = package.size();

  // The install runs with the codes only when both are set; so they are kept only then.
  if (!settings.CompanyCode.empty() && !settings.CertCode.empty()) {
    if (const int error = protectCodes(settings.CompanyCode, settings.CertCode, journal.protectedCodes); error != 0) {
      logNotKept(u"Protect", error);
      return;
    }
  }

  if (const int error = replaceFileDurably(journalPackageFile(folder_.path), package); error != 0) {
    logNotKept(u"Package Copy", error);
    return;
  }
  if (const int error = writeJournal(folder_.path, journal); error != 0) {
    logNotKept(u"Write", error);
    removeFileDurably(journalPackageFile(folder_.path));
    return;
  }
  journal_ = std::move(journal);
  journalKept_ = true;

  // Without the task the journal still serves: the next run of the tool finishes the replacement first.
  // The task runs the tool's own copy in the data folder, never the kit's exe: at the start of Windows it runs
  // with the system's rights, and the kit's folder is one its users can write. (No copy: logged there.)
  const std::u16string program = placeToolCopy(folder_);
  if (program.empty()) return;
  const int taskError = registerFinishTask({program, kResumeSwitch});
  if (taskError != 0) {
    WriteLog(logsite::ReplaceFinishTaskFailed, formatText(u"Finish Task Error(%s)", {hexCode(taskError)}).c_str());
    return;
  }
  taskRegistered_ = true;
}

void ReplacementSafeguard::markUninstalled() {
  if (!journalKept_) return;
  journal_.step = JournalStep::Install;
  // Should this fail, the journal still says Uninstall: the finishing step reads the PC, not the step.
  if (const int error = writeJournal(folder_.path, journal_); error != 0) {
    WriteLog(logsite::ReplaceJournalStepFailed, formatText(u"Journal Write Error(%d)", {error}).c_str());
  }
}

void ReplacementSafeguard::release() {
  if (taskRegistered_) {
    if (const int error = removeFinishTask(); error != 0) {
      WriteLog(logsite::ReplaceFinishTaskRemoveFailed, formatText(u"Finish Task Remove Error(%s)", {hexCode(error)}).c_str());
    }
    taskRegistered_ = false;
  }
  if (journalKept_) {
    if (const int error = removeJournalFiles(folder_.path); error != 0) {
      WriteLog(logsite::ReplaceJournalRemoveFailed, formatText(u"Journal Remove Error(%d)", {error}).c_str());
    }
    journalKept_ = false;
  }
}

}  // namespace quillon
