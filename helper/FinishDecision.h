// What the finishing step does with an unfinished replacement, from the journal and the PC as they are now.
// Kept apart from the doing, so that every case can be tried without an installer.
#pragma once

namespace quillon {

// How many finishing steps may try the install before the task is given up: three starts of Windows (or
// runs of the tool). A package that failed three times will not install on a fourth start by itself, and
// each try leaves the PC without an agent for the length of an install.
inline constexpr unsigned kFinishAttemptsLimit = 3;

// The agent the registry shows now.
enum class InstalledAgent {
  None,   // no agent key, or not the agent's upgrade code
  Old,    // the journal's old ProductCode: the uninstall never took place
  New,    // the journal's new ProductCode: the install took place
  Other,  // the agent's upgrade code with another ProductCode (installed by other means meanwhile)
};

struct FinishFacts {
  bool journalUsable = false;   // whole, of this format, of this build's server, its codes readable here
  InstalledAgent agent = InstalledAgent::None;  // with an unusable journal: None or Other (any agent)
  unsigned attempts = 0;        // the journal's count of finishing steps that tried the install
  bool packageProved = false;   // the package copy is the one the journal recorded, byte for byte
};

enum class FinishAction {
  CleanUpDone,         // an agent is on the PC: nothing to finish; journal, copy and task removed
  CleanUpOldAgent,     // the old agent is still there: left to a later normal run; journal, copy, task removed
  Install,             // install the package copy with the journal's inputs
  GiveUp,              // the bound is reached: the task removed, the journal kept for the administrator
  RefuseJournal,       // the journal or its copy cannot be trusted, no agent: nothing installed, task removed
  RefuseJournalAgent,  // the journal cannot be trusted, an agent is on the PC: nothing installed, all removed
};

FinishAction decideFinish(const FinishFacts& facts);

}  // namespace quillon
