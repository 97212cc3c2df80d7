// The application: the whole migration runs in its start-up hook.
#pragma once

#include "helper/Helper.h"
#include "helper/OutcomeRecord.h"
#include "platform/Framework.h"
#include "platform/InstanceMarker.h"
#include "res/ExitCodes.h"

#include <optional>

namespace quillon {
class PackageFile;
}

class CMigrationToolApp : public CWinApp {
 public:
  CMigrationToolApp();

  BOOL InitInstance() override;
  int ExitInstance() override;

 private:
  BOOL Finish(ToolExitCode code);
  BOOL FinishCancelled(quillon::PackageFile& package);
  bool IsMigratedAlready();

  BOOL FinishResume();
  std::optional<ToolExitCode> FinishInterrupted();
  FinishOutcome FinishJournal();

  quillon::InstanceHandle m_hMutex = nullptr;  // this copy's hold on the single-instance guard
  bool m_passedGuard = false;                  // no other copy runs: this run may write the outcome record
  quillon::RunOutcome m_run;                   // what the run found and did, for its record and its event
};

extern CMigrationToolApp theApp;
