// The application: the whole migration runs in its start-up hook.
#pragma once

#include "platform/Framework.h"
#include "platform/InstanceMarker.h"
#include "res/ExitCodes.h"

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
  BOOL FinishResume();

  quillon::InstanceHandle m_hMutex = nullptr;  // this copy's hold on the single-instance guard
};

extern CMigrationToolApp theApp;
