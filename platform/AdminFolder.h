// Folders that only administrators can write, for what the tool and the Windows Installer it starts write
// with administrators' rights: the installer's verbose logs, and the tool's own data that outlives a run.
// Both run elevated and follow whatever they find at a path, so a folder is used only when nobody but
// administrators can have put anything there: each folder on the way is a real folder (never a link or
// another reparse point) that only administrators (and the system) can write. A missing folder is made so:
// administrators and SYSTEM write, users may read. A folder of the tool's own gets its security descriptor
// from the tool when the tool makes it, and never depends on what another program granted. And what was
// checked stays what the path names: each folder is held open from its check until the holder ends.
#pragma once

#include "platform/PlatformFile.h"

#include <memory>
#include <string>
#include <vector>

namespace quillon {

// The installer logs' folders below the Windows folder, outermost first. Administrators know Logs\Software
// as the place where deployment tools leave installer logs.
inline constexpr const char16_t* kInstallerLogFolderNames[] = {u"Logs", u"Software", u"QuillonMigrationTool"};
// The tool's data folder below the machine's program-data folder (%ProgramData%).
inline constexpr const char16_t* kToolDataFolderNames[] = {u"QuillonMigrationTool"};

struct AdminFolder {
  enum class State { Ready, Failed, Refused };
  State state = State::Failed;
  std::u16string path;  // Ready: the folder. Refused: the folder, or the one on the way, that was refused.
  int error = 0;        // Failed: the platform's error code (Windows: the failed call's; Linux: errno)
  // Ready: the folders on the way, outermost first, each open since its check and until this ends. On Windows
  // they are open without delete sharing, so none of them can be renamed, deleted or replaced (by a link
  // to elsewhere, say) meanwhile, and the path names the folders that were checked.
  std::vector<std::unique_ptr<ManagedPlatformFile>> held;
};

// The installer logs' folder: Logs\Software\QuillonMigrationTool under the system's Windows folder.
// Finds the folder, making what is missing, and holds the folders on the way. Windows: each folder made with
// CreateDirectoryW and a security descriptor of its own inside the one before it (held by then), and
// examined through the handle opened on it (never through a link) that is then held. Linux, which has no
// Windows folder: under the folder that QUILLON_WINDOWS_DIR names (Failed with ENOENT when it is not set),
// each folder reached without following a symbolic link, and refused when it is not owned by root or by
// the tool's own user, or group or others may write it.
AdminFolder openInstallerLogFolder();

// The tool's data folder, by the same rules: QuillonMigrationTool under the machine's program-data folder
// (Windows: the known folder ProgramData, never the %ProgramData% of an environment a user may have set;
// Linux: the folder that QUILLON_PROGRAM_DATA names, Failed with ENOENT when it is not set).
AdminFolder openToolDataFolder();

}  // namespace quillon
