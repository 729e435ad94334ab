#include "support/program_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "settings/settings_file.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

int WaitExit(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

pid_t SpawnProcess(const std::string& binary, const std::vector<std::string>& args,
                   const std::vector<std::string>& extra_env, const std::filesystem::path& out,
                   const std::filesystem::path& err) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int null_fd = open("/dev/null", O_RDONLY);
  dup2(null_fd, 0);
  dup2(out_fd, 1);
  dup2(err_fd, 2);
  for (const std::string& assignment : extra_env) {
    if (assignment.find('=') == std::string::npos) {
      unsetenv(assignment.c_str());
    } else {
      putenv(const_cast<char*>(assignment.c_str()));
    }
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execvp(binary.c_str(), argv.data());
  _exit(127);
}

std::string ProgramBinary() {
  const char* binary = std::getenv("VELMARIN_BINARY");
  return binary ? binary : "";
}

int CountLines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

ProgramResult RunProgram(const std::vector<std::string>& args,
                         const std::vector<std::string>& extra_env) {
  return RunExecutable(ProgramBinary(), args, extra_env);
}

ProgramResult RunExecutable(const std::string& binary, const std::vector<std::string>& args,
                            const std::vector<std::string>& extra_env) {
  TempDir logs;
  const pid_t pid = SpawnProcess(binary, args, extra_env, logs / "out", logs / "err");
  ProgramResult result;
  result.exit_code = WaitExit(pid);
  result.out = ReadFileBytes(logs / "out");
  result.err = ReadFileBytes(logs / "err");
  return result;
}

void WriteSettingsFile(const ProgramDir& dir, const std::function<void(Settings&)>& change) {
  Settings settings = DefaultSettings(dir.cp932);
  change(settings);
  OwnMessage error;
  ASSERT_TRUE(SaveSettings(dir, settings, &error)) << error.english;
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& args,
                                     const std::filesystem::path& log_dir,
                                     const std::vector<std::string>& extra_env)
    : BackgroundProgram(Executable{ProgramBinary()}, args, log_dir, extra_env) {}

BackgroundProgram::BackgroundProgram(const Executable& binary, const std::vector<std::string>& args,
                                     const std::filesystem::path& log_dir,
                                     const std::vector<std::string>& extra_env)
    : out_path_(log_dir / (binary.name() + ".out")), err_path_(log_dir / (binary.name() + ".err")) {
  pid_ = SpawnProcess(binary.path, args, extra_env, out_path_, err_path_);
}

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0) Stop(SIGKILL);
}

std::string BackgroundProgram::out() const { return ReadFileBytes(out_path_); }
std::string BackgroundProgram::err() const { return ReadFileBytes(err_path_); }

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

::testing::AssertionResult BackgroundProgram::WaitForErr(std::string_view text,
                                                         std::chrono::milliseconds limit) const {
  if (WaitFor([&] { return err().find(text) != std::string::npos; }, limit)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "no \"" << text << "\" on stderr: " << err();
}

std::optional<int> BackgroundProgram::WaitForExit(std::chrono::milliseconds limit) {
  int status = 0;
  if (pid_ <= 0 || !WaitFor([&] { return waitpid(pid_, &status, WNOHANG) != 0; }, limit)) {
    return std::nullopt;
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BackgroundProgram::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int BackgroundProgram::Stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  const int code = WaitExit(pid_);
  pid_ = -1;
  return code;
}

}  // namespace velmarin::test
