// The tool's exit status, one value per outcome, for administrators who run it from scripts.
// (docs/ADMINISTRATORS.md has the same table for them.)
#pragma once

enum class ToolExitCode : int {
  Replaced = 0,              // the old agent was uninstalled and the new one installed
  AlreadyRunning = 1,        // another copy of the tool is running
  TermsDeclined = 2,         // the user did not agree to the terms of use
  TermsUnreadable = 3,       // License.txt is missing or unreadable
  AgentNotInstalled = 4,     // the agent to be replaced is not installed
  SettingsFaulty = 5,        // Auth.ini is faulty
  ConfirmationDeclined = 6,  // the user did not confirm the enrolment settings
  PackageUrlNotFound = 7,    // the server's configuration names no package (or cannot be fetched)
  DownloadFailed = 8,        // the package could not be downloaded
  UninstallFailed = 9,       // the old agent could not be uninstalled; it is still installed
  InstallFailed = 10,        // the old agent was removed but the new one could not be installed
  RestartRequired = 11,      // replaced; the installer asks for a restart of the PC to finish
  Cancelled = 12,            // the user cancelled at the progress, before the uninstall: nothing was changed
  // Runs started by a software distribution: each of these ends before anything on the PC changed.
  TermsNotAccepted = 13,     // /quiet or /passive without /AcceptTerms
  UsageShown = 14,           // /? : the usage was shown, nothing else done
  CommandLineRefused = 15,   // an unknown switch, or a switch given twice
  NoVisibleDesktop = 16,     // started where no user can see a window, without /quiet
  // The outcome record.
  RecordedAgentKept = 17,    // the installed agent is the one this tool installed earlier: not uninstalled
  // The finishing step of a replacement an earlier run left unfinished (/resume, or first thing in any run).
  Finished = 20,             // the new agent was installed from the journal
  FinishFoundAgent = 21,     // nothing to finish: an agent was installed already (or there was no journal)
  FinishFoundOldAgent = 22,  // the old agent was still installed: nothing changed; run the tool again
  FinishRetry = 23,          // the install failed again; it is tried again at the next start: no agent
  FinishGivenUp = 24,        // nothing more is tried by itself (journal untrustworthy, or the last try failed)
};
