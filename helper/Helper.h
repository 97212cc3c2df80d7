// The tool's operations, grouped under Helper. Each reports success as a bool and logs its own platform
// failures; the migration flow turns a false result into the user's message.
#pragma once

#include "platform/InstanceMarker.h"
#include "platform/Registry.h"

#include <boost/filesystem/path.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The enrolment settings from Auth.ini; one instance per process (Helper::getAuthSettings).
struct AuthSettings {
  std::u16string CompanyName;  // shown in the confirmation only
  std::u16string CompanyCode;  // installer property COMPANY_CODE
  std::u16string CertCode;     // installer property CERTIFICATION_CODE
};

// The installed agent's version: the first three numbers of its ProductVersion.
struct AgentVersion {
  int major = 0;
  int minor = 0;
  int build = 0;
};

namespace quillon {
class PackageFile;
struct AgentIdentity;
struct RecordedMigration;
struct RecordValue;
struct RunOutcome;
}

// The Windows Installer's own log of an installer run (helper/InstallerLog.h): where the run writes it, and
// afterwards which file it wrote.
struct InstallerLog {
  std::u16string folder;  // empty: the run writes no log of its own
  std::u16string file;    // after the run: its last installer run's log, when the installer ran and wrote it
};

// How the replacement sequence ended, for the tool's exit status.
enum class ReplacementOutcome { Replaced, ReplacedRestartRequired, UninstallFailed, InstallFailed };

// How the finishing step of an interrupted replacement ended (Helper::finishReplacement).
enum class FinishOutcome {
  NoJournal,         // nothing was left unfinished
  FolderUnusable,    // the data folder could not be used (refused, or not there): no journal was read
  Finished,          // the new agent was installed from the journal; journal, copy and task removed
  FoundNewAgent,     // an agent was installed already (the journal's new one, or another); all removed
  FoundOldAgent,     // the old agent was still there: the replacement never began; all removed
  RetryAtNextStart,  // the install failed again; journal and task stay for the next start
  GivenUp,           // the bound of tries is reached, or the journal could not be kept: task removed
  JournalRefused,    // the journal or its package copy cannot be trusted: nothing installed, task removed
};

// The agents a readable journal names: the one its replacement uninstalled, and the ProductCode of the one
// it installs.
struct JournalAgents {
  std::u16string oldProductCode;
  std::u16string oldProductVersion;
  std::u16string newProductCode;
};

// The Windows Installer's exit code for "done; a restart of the PC is needed to finish"
// (ERROR_SUCCESS_REBOOT_REQUIRED).
inline constexpr std::uint32_t kInstallerRestartRequired = 3010;

namespace Helper {

// --- Tool directory and settings file -------------------------------------------------------------------

// The folder of the running executable (not the current folder): License.txt and Auth.ini live there.
boost::filesystem::path getToolDirectory();

// Where the agent package is downloaded to and installed from: NewQuillonAgent.msi in the temporary
// folder. Empty when the platform reports no usable temporary folder.
std::u16string getAgentPackagePath();

// True when an entry named Auth.ini (of any kind) exists beside the executable.
bool existsAuthFile();

// Reads CompanyName, CompanyCode and CertCode from section CERT of Auth.ini, in this order, each cut to
// 259 characters. False at the first key that is missing or empty; the keys read before it keep their new
// values and the later arguments are left untouched.
bool readAuthSettings(std::u16string& companyName, std::u16string& companyCode, std::u16string& certCode);

// The process's one AuthSettings, three empty texts until readAuthSettings fills them.
AuthSettings& getAuthSettings();

// --- Single-instance guard ------------------------------------------------------------------------------

// True when another copy of the tool is running. The handle receives this copy's hold on the marker (null
// when it could not be created: that failure is logged, and the result is false so the tool still runs);
// it must be closed at exit.
bool isAlreadyRunning(quillon::InstanceHandle& handle);

// --- Terms-of-use file ----------------------------------------------------------------------------------

// Reads License.txt beside the executable whole, as UTF-16LE units, into a new NUL-terminated buffer
// (allocated with new[]; the caller releases it with delete[]). False, and no buffer, when it cannot.
bool readLicenseText(char16_t*& text);

// --- Installed-agent registry probe ---------------------------------------------------------------------

// Reads a string value (REG_SZ, or REG_EXPAND_SZ used as stored) of an open key into buffer, `capacity`
// units with the terminator. Returns 0, or a Windows error code: 2 when the value is missing, 234 when it
// does not fit (a longer text is never cut), 13 for another type, an odd size or a text stored without
// its terminator. A value of zero bytes reads as the empty text.
int readRegistryString(const quillon::RegistryKey& key, const char16_t* valueName, char16_t* buffer,
                       std::size_t capacity);

// True when the agent's registry key holds the upgrade code of the agent this tool migrates.
bool isAgentInstalled();

// The installed agent's version from its ProductVersion; meaningful only when true.
bool getAgentVersion(AgentVersion& version);

// The non-empty pieces of a text between "." characters, in order.
std::vector<std::u16string> splitVersion(const std::u16string& text);

// The version in a ProductVersion text: the first three pieces of splitVersion, each a decimal number
// (leading white space, one optional sign, the digits up to the first other character, within 32 bits).
// Each field is stored as soon as its piece is read, so a later bad piece leaves the earlier ones written.
bool parseVersion(const std::u16string& text, AgentVersion& version);

// --- Installer invocation -------------------------------------------------------------------------------

// Installs the package with the destination server's address and, when both are non-empty, the two codes;
// waits for the installer. True exactly when it ran and exited with 0 or kInstallerRestartRequired (its exit
// code is in exitCode; quillon::isExitCode tells which). With `log` and its folder, each installer run writes
// its verbose log to a new file there, and log->file names the last one written.
bool ExecMsiSync(const char16_t* packagePath, const char16_t* companyCode, const char16_t* certificationCode,
                 std::uint32_t& exitCode, InstallerLog* log = nullptr);

// Uninstalls the installed agent by its product code; the same rules.
bool ExecUninstallMsiByProductCodeSync(std::uint32_t& exitCode, InstallerLog* log = nullptr);

// The two installer command lines. A path or value with a blank or a double quote is quoted
// (platform/CommandLine.h), so it stays one argument and cannot add a property or an option; everything
// else is exactly as the installer's templates write it. The codes are included only when both are set.
std::u16string installCommandLine(std::u16string_view packagePath, std::u16string_view companyCode,
                                  std::u16string_view certificationCode);
std::u16string uninstallCommandLine(std::u16string_view productCode);

// --- Agent replacement ----------------------------------------------------------------------------------

// Uninstalls the old agent, waits five seconds, installs the downloaded package and tells the user the
// outcome, logging every step. True when the new agent was installed; `outcome`, when given, says which
// step ended the sequence.
bool updateQuillon(ReplacementOutcome* outcome = nullptr);

// Finishes a replacement that an earlier run left unfinished (its process ended between the uninstall and the
// end of the install), from the journal in the tool's data folder and the PC as they are: the install of the
// journal's package when neither agent is installed, after proving the package copy; the clean-up otherwise.
// Every outcome is logged; it shows no window of its own. `agents`, when given, receives what a readable
// journal names (left empty otherwise).
FinishOutcome finishReplacement(JournalAgents* agents = nullptr);

// --- Server access --------------------------------------------------------------------------------------

// Fetches the server's configuration script and writes the package's full URL into `url`, a buffer of
// 512 units. False (the buffer untouched) when the script cannot be fetched or names no package.
bool getDownloadUrl(char16_t* url);

// Stores the body of a GET of `url` at `path`, replacing any file there. True when the file holds the
// complete, non-empty body of a 200 response, byte for byte; `package` then holds the file against every
// change by other programs until it ends (helper/PackageFile.h). Without `package`, the hold ends on return.
bool downloadFile(const char16_t* url, const char16_t* path, quillon::PackageFile& package);
bool downloadFile(const char16_t* url, const char16_t* path);

// True when the file at `path` is a package the install command can apply: it is a compound file whose map
// lies within it (helper/CompoundFile.h), it opens as an installer database, its Property table holds a
// ProductCode, it carries the embedded transform "1041", every stream in it reads whole and every embedded
// cabinet that its Media table names is there. A failure is logged (which check, with the installer's error
// code); the file is left as it is.
bool checkAgentPackage(const char16_t* path);

// --- Outcome record and event (helper/OutcomeRecord.h, helper/RunEvent.cpp) ----------------------------

// The installed agent's ProductCode and ProductVersion as texts (each empty when it cannot be read).
quillon::AgentIdentity readAgentIdentity();

// The outcome record as it stands (all empty and not migrated when there is none).
quillon::RecordedMigration readOutcomeRecord();

// Writes the values into the outcome record (the key made when missing); each value that cannot be written
// is logged, and the rest are still written.
void recordOutcome(const std::vector<quillon::RecordValue>& values);

// True, and logged, when `productCode` is the agent the outcome record names as this tool's: the caller must
// not uninstall it.
bool keepRecordedAgent(const char16_t* productCode);

// Ends a run for the fleet's tools: writes its outcome record (when `mayRecord`: the run holds the
// single-instance guard, so no other copy's record is raced) and reports its event, after registering the
// event source with the tool's copy in its data folder as the message file. /? (UsageShown) does neither.
void reportRun(const quillon::RunOutcome& run, bool mayRecord);

}  // namespace Helper
