// What the unit tests need from the machine, the same on both builds: temporary folders, files as bytes,
// environment variables, and this test program started again as a child process.
#pragma once

#include <boost/filesystem/path.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = boost::filesystem;

// A fresh folder, removed with everything in it at the end of the scope.
class TempDirectory {
 public:
  TempDirectory();
  ~TempDirectory();
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Sets an environment variable for the scope (for this process and the children it starts).
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::string& name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string oldValue_;
  bool hadValue_ = false;
};

// Points every variable the platforms read for "the temporary folder" at `directory`.
class ScopedTempEnvironment {
 public:
  explicit ScopedTempEnvironment(const fs::path& directory);

 private:
  ScopedEnvironment tmpdir_, tmp_, temp_;
};

std::string readBytes(const fs::path& file);
void writeBytes(const fs::path& file, const std::string& bytes);

// The text of the run log in the temporary folder after its byte-order mark; empty when there is no log.
std::u16string runLogText();

// The entries of the run log in the temporary folder, each without its time stamp and line end
// ("ERROR FILE:Helper.cpp FUNCTION:... LINE:455 ResponseCode =404"); none when there is no log.
std::vector<std::u16string> runLogEntries();

// Another program's open of a file: opened for reading and, on Linux, locked for reading as programs that
// share files there do. Released at the end of the scope.
class HeldFile {
 public:
  explicit HeldFile(const fs::path& file);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool isHeld() const;

 private:
  std::intptr_t handle_;
};

// Gives the file the platform's read-only mark (the read-only attribute; on Linux no write permission).
// False when the platform here does not enforce it (Wine running as root does not).
bool makeReadOnly(const fs::path& file);

// Who may open the file, as the platform keeps it: Windows, its owner and DACL in the security descriptor
// language ("O:BAD:P(A;;FA;;;SY)..."); Linux, its permission bits in octal ("600"). Empty when unreadable.
std::string fileRights(const fs::path& file);

// fileRights() of a file that only administrators and the system may open, in each form the platform shows:
// Linux, "600"; Windows, owned by Administrators with a protected DACL for SYSTEM and Administrators. Wine
// keeps no security descriptor of a file: it shows one made from the Unix permission bits, owned by the
// prefix's one user (who owns the Windows folder and stands for the administrators there).
std::vector<std::string> administratorsOnlyFileRights();

// This test program, started again with arguments; stdin and stdout are pipes to the test, stderr is the
// test's own. The process is killed at the end of the scope if it still runs.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& arguments);
  ChildProcess(const fs::path& program, const std::vector<std::string>& arguments);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void writeLine(const std::string& line);
  std::string readLine();  // without its line end; empty at end of output
  void closeInput();
  void kill();
  int wait();  // the exit code

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// An object of another kind under the single-instance marker's name, as another program might leave
// one (on Linux: a folder where the lock file belongs, in QUILLON_LOCK_DIR). expectedError() is the error
// the platform then reports for the marker.
class ForeignObjectAtMarkerName {
 public:
  ForeignObjectAtMarkerName();
  ~ForeignObjectAtMarkerName();
  ForeignObjectAtMarkerName(const ForeignObjectAtMarkerName&) = delete;
  ForeignObjectAtMarkerName& operator=(const ForeignObjectAtMarkerName&) = delete;
  int expectedError() const;

 private:
  std::intptr_t handle_ = 0;
};

// The running test program.
fs::path testProgram();

// True in the Windows build (under Wine here), false in the Linux build.
bool runsOnWindows();

// The command line this process was started with, as the platform passed it (Windows); empty on Linux,
// where a program receives its arguments already split.
std::string ownCommandLine();

// The agent's registry key (HKEY_LOCAL_MACHINE\SOFTWARE\TORVA\Quillon) as a fixture gives it, for the
// scope: `body` is regedit text after the header line, the key's section included. The key is removed
// first and at the end. Windows: imported into the registry with reg import; Linux: the registry file
// (QUILLON_REGISTRY_FILE). The same text, as regedit's UTF-16LE with byte-order mark, serves both.
// Writes a regedit file: the header, then `body`.
void writeRegistryFile(const fs::path& file, const std::u16string& body);
// Writes such a fixture file: the header, the removal of the agent's key, then `body`.
void writeAgentRegistryFile(const fs::path& file, const std::u16string& body);

// The view the fixture writes: the one the tool reads, or the other one that 64-bit Windows also has (the
// 64-bit view for the 32-bit tool). The Linux registry file has one view only.
enum class RegistryView { Tool, Other };

class AgentRegistryFixture {
 public:
  explicit AgentRegistryFixture(const std::u16string& body, RegistryView view = RegistryView::Tool);
  ~AgentRegistryFixture();
  AgentRegistryFixture(const AgentRegistryFixture&) = delete;
  AgentRegistryFixture& operator=(const AgentRegistryFixture&) = delete;

  // Stores exactly these bytes as the key's value `name` of type `type` (a REG_SZ may lack its
  // terminator: regedit would add one, so this bypasses it on Windows).
  void setRawValue(const std::u16string& name, std::uint32_t type, const std::string& bytes);

 private:
  std::u16string body_;
  RegistryView view_;
  TempDirectory directory_;
  std::unique_ptr<ScopedEnvironment> registryFile_;
};

// The most memory this process has had resident so far, in KiB.
long peakMemoryKiB();

}  // namespace testing_support
