// Linux bodies of the test support.
#include "tests/unit/support/TestSupport.h"

#include "platform/Text.h"

#include <boost/filesystem/operations.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name.c_str())) {
    hadValue_ = true;
    oldValue_ = old;
  }
  setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (hadValue_) {
    setenv(name_.c_str(), oldValue_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

HeldFile::HeldFile(const fs::path& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && flock(fd, LOCK_SH) != 0) {
    close(fd);
    handle_ = -1;
    return;
  }
  handle_ = fd;
}

HeldFile::~HeldFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool HeldFile::isHeld() const { return handle_ >= 0; }

bool makeReadOnly(const fs::path& file) { return chmod(file.c_str(), 0444) == 0; }

std::vector<std::string> administratorsOnlyFileRights() { return {"600"}; }

std::string fileRights(const fs::path& file) {
  struct stat info;
  if (lstat(file.c_str(), &info) != 0) return {};
  char text[8];
  std::snprintf(text, sizeof(text), "%o", static_cast<unsigned>(info.st_mode & 07777));
  return text;
}

ForeignObjectAtMarkerName::ForeignObjectAtMarkerName() {
  const char* dir = std::getenv("QUILLON_LOCK_DIR");
  if (dir == nullptr) throw std::runtime_error("QUILLON_LOCK_DIR is not set");
  fs::create_directory(fs::path(dir) / "Global-{3B9E61D2-5A47-4F0C-9E18-7C2D40A5B6E3}.lock");
}

ForeignObjectAtMarkerName::~ForeignObjectAtMarkerName() {
  fs::remove(fs::path(std::getenv("QUILLON_LOCK_DIR")) / "Global-{3B9E61D2-5A47-4F0C-9E18-7C2D40A5B6E3}.lock");
}

int ForeignObjectAtMarkerName::expectedError() const { return EISDIR; }

long peakMemoryKiB() {
  // VmHWM, not getrusage: ru_maxrss survives exec, so a child would report its parent's peak.
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "VmHWM:") == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

struct ChildProcess::Impl {
  pid_t pid = -1;
  int input = -1;   // our end of the child's stdin
  int output = -1;  // our end of the child's stdout
  bool waited = false;
  int exitCode = -1;
};

ChildProcess::ChildProcess(const fs::path& program, const std::vector<std::string>& arguments) : impl_(new Impl) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> all{program.string()};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int error = posix_spawn(&impl_->pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  impl_->input = in[1];
  impl_->output = out[0];
  if (error != 0) throw std::runtime_error("cannot start " + all[0]);
}

ChildProcess::~ChildProcess() {
  if (!impl_->waited) {
    kill();
    wait();
  }
  closeInput();
  if (impl_->output >= 0) close(impl_->output);
}

void ChildProcess::writeLine(const std::string& line) {
  const std::string text = line + "\n";
  if (write(impl_->input, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot write to the child");
  }
}

std::string ChildProcess::readLine() {
  std::string line;
  char c;
  while (read(impl_->output, &c, 1) == 1 && c != '\n') {
    if (c != '\r') line += c;
  }
  return line;
}

void ChildProcess::closeInput() {
  if (impl_->input >= 0) close(impl_->input);
  impl_->input = -1;
}

void ChildProcess::kill() {
  if (!impl_->waited) ::kill(impl_->pid, SIGKILL);
}

int ChildProcess::wait() {
  if (!impl_->waited) {
    int status = 0;
    while (waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    impl_->waited = true;
    impl_->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  return impl_->exitCode;
}

}  // namespace testing_support

namespace testing_support {

bool runsOnWindows() { return false; }

std::string ownCommandLine() { return {}; }

AgentRegistryFixture::AgentRegistryFixture(const std::u16string& body, RegistryView view) : body_(body), view_(view) {
  if (view_ != RegistryView::Tool) throw std::logic_error("the registry file has one view only");
  const fs::path file = directory_.path() / "agent.reg";
  writeAgentRegistryFile(file, body);
  registryFile_ = std::make_unique<ScopedEnvironment>("QUILLON_REGISTRY_FILE", file.string());
}

AgentRegistryFixture::~AgentRegistryFixture() = default;

void AgentRegistryFixture::setRawValue(const std::u16string& name, std::uint32_t type, const std::string& bytes) {
  static const char16_t digits[] = u"0123456789abcdef";
  std::u16string line = u"\"" + name + u"\"=hex(" + digits[type & 15] + u"):";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (i > 0) line += u",";
    line += digits[byte >> 4];
    line += digits[byte & 15];
  }
  body_ += line + u"\r\n";
  writeAgentRegistryFile(directory_.path() / "agent.reg", body_);
}

}  // namespace testing_support
