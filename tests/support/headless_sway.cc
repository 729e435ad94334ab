#include "support/headless_sway.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "support/fd_lines.h"

namespace velmarin::test {
namespace {

constexpr int kStartPatienceMs = 30000;
constexpr int kReadyFd = 3;  // where sway's "exec" child writes WAYLAND_DISPLAY

}  // namespace

HeadlessSway::HeadlessSway(const std::filesystem::path& binary,
                           const std::filesystem::path& runtime_dir, const std::string& config,
                           int outputs) {
  const std::filesystem::path config_file = runtime_dir / "sway.config";
  // sway runs "exec" lines once its outputs are configured: the first says so, with the
  // display's name.
  std::ofstream(config_file) << config << "\nexec echo $WAYLAND_DISPLAY >&" << kReadyFd << '\n';
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], kReadyFd);  // dup2 clears close-on-exec
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (runtime_dir / "sway.log").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<std::string> args = {binary.string(), "--config", config_file.string()};
  std::vector<std::string> environment = {
      "PATH=/usr/bin:/bin",
      "HOME=" + runtime_dir.string(),
      "XDG_RUNTIME_DIR=" + runtime_dir.string(),
      "WLR_BACKENDS=headless",
      "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs),
      "WLR_LIBINPUT_NO_DEVICES=1",
      "WLR_RENDERER=pixman",
  };
  std::vector<char*> argv, envp;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const int spawned =
      posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    pid_ = -1;
    error_ = "sway could not be started";
  } else if (const std::string name = ReadLineWithin(fds[0], kStartPatienceMs); name.empty()) {
    error_ = "sway did not come up; see " + (runtime_dir / "sway.log").string();
  } else {
    display_ = (runtime_dir / name).string();
  }
  close(fds[0]);
}

HeadlessSway::~HeadlessSway() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

}  // namespace velmarin::test
