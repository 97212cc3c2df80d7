// The folder the Windows Installer writes its own verbose logs of the tool's installer runs to:
// Logs\Software\QuillonMigrationTool in the Windows folder. Administrators know Logs\Software as the place
// where deployment tools leave installer logs; a folder of the tool's own under it gets its security
// descriptor from the tool when the tool makes it, and never depends on what another program granted.
// The installer runs elevated and follows whatever it finds at the log's path, so the folder is used only
// when nobody but administrators can have put anything there: each folder on the way is a real folder
// (never a link or another reparse point) that only administrators (and the system) can write. A missing
// folder is made so: administrators and SYSTEM write, users may read. And what was checked stays what the
// path names: each folder is held open from its check until the installer's last run.
#pragma once

#include "platform/PlatformFile.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

// The folders below the Windows folder, outermost first.
inline constexpr const char16_t* kInstallerLogFolderNames[] = {u"Logs", u"Software", u"QuillonMigrationTool"};

struct InstallerLogFolder {
  enum class State { Ready, Failed, Refused };
  State state = State::Failed;
  std::u16string path;  // Ready: the folder. Refused: the folder, or the one on the way, that was refused.
  int error = 0;        // Failed: the platform's error code (Windows: the failed call's; Linux: errno)
  // Ready: the folders on the way, outermost first, each open since its check and until this ends. On Windows
  // they are open without delete sharing, so none of them can be renamed, deleted or replaced (by a link
  // to elsewhere, say) meanwhile, and the path names the folders that were checked.
  std::vector<std::unique_ptr<ManagedPlatformFile>> held;
};

// Finds the folder, making what is missing, and holds the folders on the way. Windows: under the system's
// Windows folder, each folder made with CreateDirectoryW and a security descriptor of its own inside the one
// before it (held by then), and examined through the handle opened on it (never through a link) that is
// then held. Linux, which has no Windows folder: under the folder that QUILLON_WINDOWS_DIR names (Failed
// with ENOENT when it is not set), each folder reached without following a symbolic link, and refused when
// it is not owned by root or by the tool's own user, or group or others may write it.
InstallerLogFolder openInstallerLogFolder();

}  // namespace quillon
