#include "settings/program_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "base/errno_text.h"

namespace velmarin {
namespace {

// The process that wrote its number into the lock file, as the message names it.
std::string HolderOf(int fd) {
  char buffer[32];
  const ssize_t got = pread(fd, buffer, sizeof buffer - 1, 0);
  if (got <= 0) return "";
  std::string_view text(buffer, static_cast<std::size_t>(got));
  text = text.substr(0, text.find_first_not_of("0123456789"));
  return std::string(text);
}

void WriteHolder(int fd) {
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) {
    // Only informative: a failed write leaves the lock as good as before.
    [[maybe_unused]] const ssize_t written = pwrite(fd, pid.data(), pid.size(), 0);
  }
}

}  // namespace

std::optional<pid_t> ProgramFolderLock::Holder(const ProgramDir& dir) {
  const std::filesystem::path path = dir.path / kProgramFolderLockName;
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) return std::nullopt;
  int result = 0;
  while ((result = flock(fd.get(), LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (result == 0 || errno != EWOULDBLOCK) return std::nullopt;  // free (released on close)
  const std::string pid = HolderOf(fd.get());
  return pid.empty() ? 0 : static_cast<pid_t>(std::stol(pid.substr(0, 9)));
}

std::optional<ProgramFolderLock> ProgramFolderLock::Acquire(const ProgramDir& dir,
                                                            OwnMessage* error) {
  const std::string folder = dir.path.string();
  const std::filesystem::path path = dir.path / kProgramFolderLockName;
  const auto cannot_lock = [&](const std::string& where, int code) {
    *error = {"cannot lock the program folder " + folder + ": " + where + ErrnoText(code),
              "プログラムフォルダ " + folder + " をロックできません（" + where + ErrnoText(code) +
                  "）。"};
  };
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
  if (!fd.valid()) {
    cannot_lock(path.string() + ": ", errno);
    return std::nullopt;
  }
  while (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) {
      const std::string holder = HolderOf(fd.get());
      *error = {
          "the program folder " + folder + " is in use by another velmarin" +
              (holder.empty() ? "" : " (process " + holder + ")") +
              "; only one may run on a program folder",
          "プログラムフォルダ " + folder + " は別の velmarin" +
              (holder.empty() ? "" : "（プロセス " + holder + "）") +
              "が使っています。1 つのプログラムフォルダで動かせる velmarin は 1 つだけです。"};
    } else {
      cannot_lock("", errno);
    }
    return std::nullopt;
  }
  WriteHolder(fd.get());
  return ProgramFolderLock(std::move(fd));
}

}  // namespace velmarin
