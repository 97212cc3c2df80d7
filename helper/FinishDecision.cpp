// The finishing step's decision (helper/FinishDecision.h).
#include "helper/FinishDecision.h"

namespace quillon {

FinishAction decideFinish(const FinishFacts& facts) {
  // A journal that cannot be trusted says nothing about which agent is which: only whether the PC has one.
  if (!facts.journalUsable) {
    return facts.agent == InstalledAgent::None ? FinishAction::RefuseJournal : FinishAction::RefuseJournalAgent;
  }
  switch (facts.agent) {
    case InstalledAgent::New:
    case InstalledAgent::Other: return FinishAction::CleanUpDone;
    // The uninstall never took place: the PC is still managed as before the run, and the replacement is the
    // user's (or the distribution's) to start again, with its terms and questions; a start of Windows with
    // nobody at the keyboard does not remove an agent.
    case InstalledAgent::Old: return FinishAction::CleanUpOldAgent;
    case InstalledAgent::None: break;
  }
  if (facts.attempts >= kFinishAttemptsLimit) return FinishAction::GiveUp;
  if (!facts.packageProved) return FinishAction::RefuseJournal;
  return FinishAction::Install;
}

}  // namespace quillon
