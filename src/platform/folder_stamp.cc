#include "platform/folder_stamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace velmarin {
namespace {

std::int64_t Nanoseconds(const struct statx_timestamp& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

}  // namespace

std::optional<FolderStamp> StampOfFolder(const AtPath& folder) {
  struct statx info {};
  const char* path = folder.path.empty() ? "." : folder.path.c_str();
  constexpr unsigned kNeeded = STATX_TYPE | STATX_INO | STATX_MTIME;
  if (statx(folder.folder, path, AT_STATX_FORCE_SYNC, kNeeded | STATX_CTIME, &info) != 0 ||
      (info.stx_mask & kNeeded) != kNeeded || !S_ISDIR(info.stx_mode)) {
    return std::nullopt;
  }
  // A file system without a change time leaves the modification time to tell alone.
  const std::int64_t changed = (info.stx_mask & STATX_CTIME) ? Nanoseconds(info.stx_ctime) : 0;
  return FolderStamp{makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino,
                     Nanoseconds(info.stx_mtime), changed};
}

bool StampSettledBefore(const FolderStamp& stamp, std::int64_t looked_ns,
                        const FolderTimeMargins& margins) {
  const bool whole_seconds = stamp.modified_ns % 1'000'000'000 == 0;
  const auto margin = whole_seconds ? margins.coarse : margins.fine;
  // A later change moves both times to its own moment, so the modification time decides.
  return stamp.modified_ns + margin.count() < looked_ns;
}

std::int64_t WallClockNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace velmarin
