#include "base/stale_temporaries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "base/atomic_file.h"
#include "base/c_handle.h"
#include "base/unique_fd.h"

namespace velmarin {
namespace {

bool IsStale(int dir_fd, const char* name, std::chrono::seconds min_age) {
  // Not followed: a link or a folder of that name is nobody's temporary of ours.
  UniqueFd fd(::openat(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // No age asked: a server's clock ahead of ours cannot make the file look new.
  if (min_age.count() > 0 && ::time(nullptr) - info.st_mtim.tv_sec < min_age.count()) return false;
  // A writer holds its temporary locked; the lock taken here goes with the descriptor.
  return ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

std::size_t RemoveStaleTemporaries(const AtPath& folder, std::chrono::seconds min_age,
                                   std::string_view own_mark) {
  UniqueFd opened(::openat(folder.folder, folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  CHandle<DIR, closedir> dir(opened.valid() ? ::fdopendir(opened.get()) : nullptr);
  if (!dir) return 0;
  opened.release();  // the listing owns it now
  const int dir_fd = ::dirfd(dir.get());
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsAtomicFileTemporaryName(entry->d_name)) continue;
    const auto age =
        IsOwnTemporaryName(entry->d_name, own_mark) ? std::chrono::seconds(0) : min_age;
    if (IsStale(dir_fd, entry->d_name, age) && ::unlinkat(dir_fd, entry->d_name, 0) == 0) {
      ++removed;
    }
  }
  return removed;
}

}  // namespace velmarin
