// The journal and the finishing task of a replacement, on the PC: the files in the tool's data folder
// (platform/AdminFolder.h), the task (platform/FinishTask.h), and what the replacement and the finishing step
// read of the PC. The format of the journal itself is helper/Journal.h.
#pragma once

#include "helper/FinishDecision.h"
#include "helper/Helper.h"
#include "helper/Journal.h"
#include "platform/AdminFolder.h"

#include <cstdint>
#include <string>

namespace quillon {

// The data folder's files: the journal, and the package copy it records.
inline constexpr char16_t kJournalFileName[] = u"Journal.txt";
inline constexpr char16_t kJournalPackageFileName[] = u"NewQuillonAgent.msi";
// The largest package the journal keeps a copy of. The copy is made, and proved again, in memory: an agent's
// package is tens of megabytes; one beyond this leaves the run without a journal (line 340), as before.
inline constexpr std::uint64_t kJournalPackageLimit = 512ull << 20;
// The finishing task's switch.
inline constexpr char16_t kResumeSwitch[] = u"/resume";

std::u16string journalFile(const std::u16string& folder);
std::u16string journalPackageFile(const std::u16string& folder);


// Writes the journal durably (platform/DurableFile.h): 0, or the platform's error code; kJournalUnformattable
// when the journal holds what its format cannot carry.
inline constexpr int kJournalUnformattable = -1;
int writeJournal(const std::u16string& folder, const ReplacementJournal& journal);

// Removes the journal and then its package copy, durably (a copy without a journal is never acted on): 0, or
// the first error code.
int removeJournalFiles(const std::u16string& folder);

// The enrolment codes of the install, protected for this machine (platform/ProtectedData.h), and back. The
// two codes are kept together: the install uses them only together.
int protectCodes(const std::u16string& companyCode, const std::u16string& certCode, std::string& protectedBytes);
int unprotectCodes(const std::string& protectedBytes, std::u16string& companyCode, std::u16string& certCode);

// The agent's ProductCode as the registry shows it now: 0 with the code, or the registry's error code (2: no
// agent key). Only the agent's key with its upgrade code counts.
int installedProductCode(std::u16string& productCode);

// The installed agent as the journal's product codes name it (any agent is Other without a journal).
InstalledAgent installedAgent(const ReplacementJournal* journal);

// The journal and the task of one run of the replacement, from before its uninstall until it ends. Every
// failure is logged at the replacement's sites; without a journal or a task the replacement goes on as it
// always did.
class ReplacementSafeguard {
 public:
  // Before the uninstall: copies the proved package into the data folder, writes the journal, registers the
  // task. Nothing is kept when the data folder is refused or any of it fails (the task is registered only over
  // a journal written).
  void keep(const std::u16string& packagePath, const AgentVersion* oldVersion, const AuthSettings& settings);
  // The uninstall is done: the journal says so.
  void markUninstalled();
  // The run ends with an agent on the PC: the journal, its copy and the task are removed.
  void release();
  // The run ends with no agent: the journal (and the task, where it could be registered) stay for the next
  // start of Windows or of the tool; true when there is a journal.
  bool keptForNextStart() const { return journalKept_; }

 private:
  AdminFolder folder_;
  ReplacementJournal journal_;
  bool journalKept_ = false;
  bool taskRegistered_ = false;
};

// "0x80070005": an HRESULT or error code as administrators look it up.
std::u16string hexCode(int code);

}  // namespace quillon
