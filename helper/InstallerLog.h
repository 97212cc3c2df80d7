// The Windows Installer's own verbose log of each installer run of the tool: the option "/l*v FILE" at the
// end of the command line, a new file per run in the folder of platform/AdminFolder.h, and the
// run-log texts that name the file or say why there is none. An administrator reads in it why a run failed,
// which the installer's exit code alone does not tell.
#pragma once

#include "log/LogEntry.h"
#include "platform/AdminFolder.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The installer's exit code when it cannot open its log file (ERROR_INSTALL_LOG_FAILURE): the run did
// nothing, and runs again without the log, as the migration matters more than its log.
inline constexpr std::uint32_t kInstallerLogFailure = 1622;

// The name of the log of the `run`-th installer run of `step` ("uninstall", "install") of the tool's process
// `processId`, started at the local time `time`: "20250109-143012-4242-install.log"; the second install run
// "...-install2.log". `taken` counts the names found taken before: from 2 on, "...-install(2).log".
std::u16string installerLogName(const LogTime& time, std::uint32_t processId, std::u16string_view step, unsigned run,
                                unsigned taken);

// The log file for that run in `folder`: the first of its names at which nothing at all exists (no file,
// folder or link, dangling or not), so the installer never writes through anything found there. Empty
// when none of the first few is free.
std::u16string newInstallerLogFile(const std::u16string& folder, const LogTime& time, std::uint32_t processId,
                                   std::u16string_view step, unsigned run);

// True when a file of its own (not a link) stands at `file`: the installer wrote its log there.
bool installerLogWritten(const std::u16string& file);

// The command line with the verbose-log option appended, the file quoted as any argument is
// (platform/CommandLine.h); the command line unchanged when `file` is empty.
std::u16string withInstallerLog(const std::u16string& commandLine, std::u16string_view file);

// "Installer Log(FILE)" in at most `room` units: a FILE too long for it loses its beginning, marked "...",
// so that the file's own name stays.
std::u16string installerLogMessage(std::u16string_view file, std::size_t room);

// Why the runs write no log of their own: "Installer Log Folder Error(N)" with the platform's error code,
// or "Installer Log Folder Refused(PATH)" for a folder on the way that is a link, no folder, or writable by
// others than administrators.
std::u16string installerLogFolderMessage(const AdminFolder& folder);

}  // namespace quillon
