#include "support/unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/unique_fd.h"

namespace velmarin::test {
namespace {

constexpr uid_t kFallbackNobody = 65534;

void HandOver(const std::filesystem::path& tree, uid_t user, gid_t group) {
  lchown(tree.c_str(), user, group);
  std::error_code ec;
  if (!std::filesystem::is_directory(std::filesystem::symlink_status(tree, ec))) return;
  for (auto it = std::filesystem::recursive_directory_iterator(tree, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    lchown(it->path().c_str(), user, group);
  }
}

// Runs in the child: drops to `user`, runs `check`, writes its result into `out` and ends.
[[noreturn]] void RunAsChild(int out, uid_t user, gid_t group,
                             const std::function<std::string()>& check) {
  if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0 || getuid() == 0) {
    _exit(2);
  }
  _exit(WriteAll(out, check()) ? 0 : 3);
}

}  // namespace

std::string RunUnprivileged(const std::filesystem::path& tree,
                            const std::function<std::string()>& check) {
  if (geteuid() != 0) return check();
  const passwd* nobody = getpwnam("nobody");
  const uid_t user = nobody != nullptr ? nobody->pw_uid : kFallbackNobody;
  const gid_t group = nobody != nullptr ? nobody->pw_gid : kFallbackNobody;
  HandOver(tree, user, group);

  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return "child failed: no pipe";
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t child = fork();
  if (child < 0) return "child failed: no fork";
  if (child == 0) {
    close(pipe_ends[0]);
    RunAsChild(pipe_ends[1], user, group, check);
  }
  close(pipe_ends[1]);
  std::string result;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return "child failed: status " + std::to_string(status);
  }
  return result;
}

}  // namespace velmarin::test
