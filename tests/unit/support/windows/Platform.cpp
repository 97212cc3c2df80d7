// Windows bodies of the test support.
#include "tests/unit/support/TestSupport.h"

#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/windows/WindowsSupport.h"

#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>

#include <cstdlib>
#include <stdexcept>

namespace testing_support {

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name.c_str())) {
    hadValue_ = true;
    oldValue_ = old;
  }
  // Both the process environment (GetTempPathW, GetEnvironmentVariableW) and the C runtime's copy.
  SetEnvironmentVariableA(name.c_str(), value.c_str());
  _putenv_s(name.c_str(), value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), hadValue_ ? oldValue_.c_str() : nullptr);
  _putenv_s(name_.c_str(), hadValue_ ? oldValue_.c_str() : "");
}

HeldFile::HeldFile(const fs::path& file) {
  const HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  handle_ = reinterpret_cast<std::intptr_t>(handle);
}

HeldFile::~HeldFile() {
  if (isHeld()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool HeldFile::isHeld() const { return reinterpret_cast<HANDLE>(handle_) != INVALID_HANDLE_VALUE; }

bool makeReadOnly(const fs::path& file) {
  if (!SetFileAttributesW(file.wstring().c_str(), FILE_ATTRIBUTE_READONLY)) return false;
  const HANDLE probe = CreateFileW(file.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) return true;
  CloseHandle(probe);
  return false;
}

std::string fileRights(const fs::path& file) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(file.wstring().c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  wchar_t* text = nullptr;
  std::string rights;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
                                                           nullptr)) {
    rights = quillon::toUtf8(quillon::asText(text));
    LocalFree(text);
  }
  LocalFree(descriptor);
  return rights;
}

std::vector<std::string> administratorsOnlyFileRights() {
  std::vector<std::string> forms{"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)"};
  wchar_t windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* sid = nullptr;
  if (length > 0 && length < MAX_PATH &&
      GetNamedSecurityInfoW(windows, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                            &descriptor) == ERROR_SUCCESS &&
      ConvertSidToStringSidW(owner, &sid)) {
    const std::string text = quillon::toUtf8(quillon::asText(sid));
    forms.push_back("O:" + text + "D:(A;;FA;;;SY)(A;;FA;;;" + text + ")");
  }
  LocalFree(sid);
  LocalFree(descriptor);
  return forms;
}

ForeignObjectAtMarkerName::ForeignObjectAtMarkerName() {
  handle_ = reinterpret_cast<std::intptr_t>(
      CreateEventW(nullptr, TRUE, FALSE, L"Global\\{3B9E61D2-5A47-4F0C-9E18-7C2D40A5B6E3}"));
  if (handle_ == 0) throw std::runtime_error("CreateEventW failed");
}

ForeignObjectAtMarkerName::~ForeignObjectAtMarkerName() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

int ForeignObjectAtMarkerName::expectedError() const { return ERROR_INVALID_HANDLE; }

long peakMemoryKiB() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return -1;
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

struct ChildProcess::Impl {
  PROCESS_INFORMATION process = {};
  HANDLE input = nullptr;   // our end of the child's stdin
  HANDLE output = nullptr;  // our end of the child's stdout
  bool waited = false;
  int exitCode = -1;
};

namespace {

std::wstring quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

}  // namespace

ChildProcess::ChildProcess(const fs::path& program, const std::vector<std::string>& arguments) : impl_(new Impl) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE childInput, childOutput;
  if (!CreatePipe(&childInput, &impl_->input, &inheritable, 0) ||
      !CreatePipe(&impl_->output, &childOutput, &inheritable, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  SetHandleInformation(impl_->input, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(impl_->output, HANDLE_FLAG_INHERIT, 0);

  std::wstring commandLine = quoted(program.wstring());
  for (const std::string& argument : arguments) commandLine += L" " + quoted(std::wstring(argument.begin(), argument.end()));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = childOutput;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  // A program path past MAX_PATH is only reachable in its long form.
  std::wstring application = program.wstring();
  if (application.size() >= MAX_PATH) application = L"\\\\?\\" + application;
  const BOOL started = CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &impl_->process);
  CloseHandle(childInput);
  CloseHandle(childOutput);
  if (!started) throw std::runtime_error("cannot start " + program.string() + ": error " + std::to_string(GetLastError()));
}

ChildProcess::~ChildProcess() {
  if (!impl_->waited) {
    kill();
    wait();
  }
  closeInput();
  if (impl_->output) CloseHandle(impl_->output);
  CloseHandle(impl_->process.hThread);
  CloseHandle(impl_->process.hProcess);
}

void ChildProcess::writeLine(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  if (!WriteFile(impl_->input, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size()) {
    throw std::runtime_error("cannot write to the child");
  }
}

std::string ChildProcess::readLine() {
  std::string line;
  char c;
  DWORD read = 0;
  while (ReadFile(impl_->output, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
    if (c != '\r') line += c;
  }
  return line;
}

void ChildProcess::closeInput() {
  if (impl_->input) CloseHandle(impl_->input);
  impl_->input = nullptr;
}

void ChildProcess::kill() {
  if (!impl_->waited) TerminateProcess(impl_->process.hProcess, 137);
}

int ChildProcess::wait() {
  if (!impl_->waited) {
    WaitForSingleObject(impl_->process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(impl_->process.hProcess, &code);
    impl_->waited = true;
    impl_->exitCode = static_cast<int>(code);
  }
  return impl_->exitCode;
}

}  // namespace testing_support

namespace testing_support {

bool runsOnWindows() { return true; }

std::string ownCommandLine() { return quillon::toUtf8(quillon::asText(GetCommandLineW())); }

namespace {

// The view this process reads without a view flag is that of its own bitness: the 32-bit one for the
// 32-bit build, also on 64-bit Windows.
bool is32BitView(RegistryView view) { return (view == RegistryView::Tool) == (sizeof(void*) == 4); }

REGSAM viewAccess(RegistryView view) {
  if (view == RegistryView::Tool) return 0;
  return is32BitView(view) ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

// Removed here, not by the import file: Wine's importer deletes a "[-key]" in its own view whatever view
// it is told.
void removeAgentKey(RegistryView view) {
  const LONG status = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TORVA\\Quillon", viewAccess(view), 0);
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    throw std::runtime_error("cannot remove the agent's key: error " + std::to_string(status));
  }
}

// The importer is told the view, since it may be a program of the other bitness.
void importIntoRegistry(const fs::path& file, RegistryView view) {
  const quillon::ProcessRun run =
      quillon::runToCompletion(quillon::systemProgramPath(u"reg.exe"), u"reg.exe import \"" +
                                                                           quillon::fromWide(file.wstring()) +
                                                                           (is32BitView(view) ? u"\" /reg:32" : u"\" /reg:64"));
  if (run.failedAt != quillon::ProcessRun::Step::Done || run.exitCode != 0) {
    throw std::runtime_error("reg import failed: error " + std::to_string(run.error) + ", exit code " +
                             std::to_string(run.exitCode));
  }
}

}  // namespace

AgentRegistryFixture::AgentRegistryFixture(const std::u16string& body, RegistryView view) : body_(body), view_(view) {
  removeAgentKey(view_);
  const fs::path file = directory_.path() / "agent.reg";
  writeRegistryFile(file, body);
  importIntoRegistry(file, view_);
}

AgentRegistryFixture::~AgentRegistryFixture() {
  try {
    removeAgentKey(view_);
  } catch (const std::exception&) {
    // the next fixture removes the key first anyway
  }
}

void AgentRegistryFixture::setRawValue(const std::u16string& name, std::uint32_t type, const std::string& bytes) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TORVA\\Quillon", 0, nullptr, 0, KEY_SET_VALUE | viewAccess(view_),
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the agent's key");
  }
  // The system adds a terminator to a string whose next character in memory is NUL, so the bytes are
  // followed by something else.
  const std::string data = bytes + "\x01\x01\x01\x01";
  const LONG status = RegSetValueExW(key, quillon::toWide(name).c_str(), 0, type,
                                     reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set the value");
}

}  // namespace testing_support
