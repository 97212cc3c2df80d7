// Windows only: the finishing task's definition, as the tool gives it to Task Scheduler's COM interface, and
// the BSTRs that interface takes.
#pragma once

#include "platform/FinishTask.h"
#include "platform/windows/WindowsSupport.h"

#include <oleauto.h>
#include <taskschd.h>

#include <string_view>

namespace quillon {

// A BSTR made from a text for one call, freed at the end of the scope.
class TemporaryBstr {
 public:
  explicit TemporaryBstr(std::wstring_view text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~TemporaryBstr() { SysFreeString(value_); }
  TemporaryBstr(const TemporaryBstr&) = delete;
  TemporaryBstr& operator=(const TemporaryBstr&) = delete;
  operator BSTR() const { return value_; }

 private:
  BSTR value_;
};

// Fills a new definition with everything but its triggers:
// - SYSTEM (S-1-5-18) as a service account, with the highest rights;
// - started on battery and kept running when the power goes to battery; started late when the machine was
//   off when it was due; stopped only after 2 hours, far beyond an install with its busy-installer waits,
//   so that a hung run cannot keep a later trigger from starting it again; a second start while one runs
//   starts nothing (IgnoreNew);
// - normal priority (the scheduler's default is below normal): a user may be waiting for the agent;
// - the action: `command`'s program with its arguments.
HRESULT describeFinishTask(ITaskDefinition& definition, const FinishTaskCommand& command);

// Adds the triggers: the start of Windows, and any user's logon. A boot trigger does not fire when Windows
// resumes from a fast start-up (a hibernated kernel, what "shut down" does by default since Windows 8), nor
// when a user only logged off and on again, both ways in which the tool's process may have ended; the logon
// trigger brings the agent then too.
HRESULT addFinishTaskTriggers(ITaskDefinition& definition);

}  // namespace quillon
