#include "support/xvfb_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "support/fd_lines.h"
#include "support/program_on_path.h"

extern char** environ;

namespace velmarin::test {
namespace {

// Generous: the server compiles its keymap at start, which takes a while on a busy machine.
constexpr int kStartPatienceMs = 30000;

}  // namespace

std::optional<std::filesystem::path> XvfbServer::FindBinary() { return FindProgramOnPath("Xvfb"); }

XvfbServer::XvfbServer(const std::filesystem::path& binary, const std::filesystem::path& log_file) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  const int read_end = fds[0];
  const int child_fd = 3;  // the write end, as the server sees it
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], child_fd);  // dup2 clears close-on-exec
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_file.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const std::string fd_text = std::to_string(child_fd);
  std::vector<std::string> args = {binary.string(), "-displayfd", fd_text, "-screen", "0",
                                   "1024x768x24",   "-nolisten",  "tcp",   "-noreset"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int spawned = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    pid_ = -1;
    error_ = "Xvfb could not be started";
    close(read_end);
    return;
  }
  const std::string number = ReadLineWithin(read_end, kStartPatienceMs);
  close(read_end);
  if (number.empty()) {
    error_ = "Xvfb reported no display number; see " + log_file.string();
    return;
  }
  display_name_ = ":" + number;
}

XvfbServer::~XvfbServer() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

void XvfbServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace velmarin::test
