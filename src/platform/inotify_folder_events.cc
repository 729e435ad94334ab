#include "platform/inotify_folder_events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace velmarin {
namespace {

// Magic numbers of statfs(2) for file systems whose changes may come from elsewhere.
constexpr std::array<std::int64_t, 10> kRemoteFileSystems = {
    0x6969,      // NFS
    0x517B,      // SMB
    0xFF534D42,  // CIFS
    0xFE534D42,  // SMB2
    0x65735546,  // FUSE (sshfs, network mounts through user space)
    0x01021997,  // 9P
    0x00C36400,  // Ceph
    0x5346414F,  // AFS
    0x6B414653,  // kAFS
    0x73757245,  // Coda
};

// Not IN_EXCL_UNLINK: a file made without a name (O_TMPFILE) and linked in afterwards, as
// Qt's QSaveFile saves, is closed as such an unlinked child, under "#" and its inode number.
constexpr std::uint32_t kWatchedEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM |
                                         IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsLocalFileSystem(const struct statfs& info) {
  for (const std::int64_t remote : kRemoteFileSystems) {
    if (static_cast<std::int64_t>(static_cast<std::uint32_t>(info.f_type)) == remote) return false;
  }
  return true;
}

}  // namespace

bool ReportsEveryChange(const std::filesystem::path& folder) {
  struct statfs info {};
  return statfs(folder.c_str(), &info) == 0 && IsLocalFileSystem(info);
}

bool ReportsEveryChange(int open_folder) {
  struct statfs info {};
  return fstatfs(open_folder, &info) == 0 && IsLocalFileSystem(info);
}

InotifyFolderEvents::InotifyFolderEvents()
    : inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
      wake_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

bool InotifyFolderEvents::Watch(const std::filesystem::path& folder) {
  if (watch_ >= 0) {
    inotify_rm_watch(inotify_.get(), watch_);
    watch_ = -1;
    ReadEvents();  // the end of the old watch is no news about the new folder
  }
  if (!inotify_.valid() || !wake_.valid() || !ReportsEveryChange(folder)) return false;
  watch_ = inotify_add_watch(inotify_.get(), folder.c_str(), kWatchedEvents);
  return watch_ >= 0;
}

std::vector<FolderEvent> InotifyFolderEvents::Wait(std::stop_token stop,
                                                   std::chrono::milliseconds timeout) {
  if (!wake_.valid()) return {};
  const std::stop_callback on_stop(stop, [this] {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wake_.get(), &one, sizeof one);
  });
  std::array<pollfd, 2> fds{{{wake_.get(), POLLIN, 0}, {inotify_.get(), POLLIN, 0}}};
  const nfds_t count = watch_ >= 0 ? 2 : 1;
  while (!stop.stop_requested()) {
    const int ready = poll(fds.data(), count, static_cast<int>(timeout.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || stop.stop_requested()) break;
    if (count == 2 && (fds[1].revents & POLLIN)) return ReadEvents();
    break;
  }
  std::uint64_t drained = 0;
  [[maybe_unused]] const ssize_t read_back = read(wake_.get(), &drained, sizeof drained);
  return {};
}

std::vector<FolderEvent> InotifyFolderEvents::ReadEvents() {
  std::vector<FolderEvent> events;
  alignas(inotify_event) std::array<char, 64 * 1024> buffer;
  while (true) {
    const ssize_t got = read(inotify_.get(), buffer.data(), buffer.size());
    if (got <= 0) break;
    for (ssize_t pos = 0; pos < got;) {
      inotify_event raw;
      std::memcpy(&raw, buffer.data() + pos, sizeof raw);
      const std::string name =
          raw.len > 0 ? std::string(buffer.data() + pos + sizeof raw) : std::string();
      pos += static_cast<ssize_t>(sizeof raw + raw.len);
      using Kind = FolderEvent::Kind;
      if (raw.mask & IN_Q_OVERFLOW) {
        events.push_back({Kind::kOverflow, {}});
      } else if (raw.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED)) {
        if (raw.wd == watch_ && watch_ >= 0) {
          inotify_rm_watch(inotify_.get(), watch_);
          watch_ = -1;
          events.push_back({Kind::kFolderGone, {}});
        }
      } else if (raw.wd != watch_) {
        continue;  // left over from a folder watched before
      } else if (raw.mask & IN_CREATE) {
        events.push_back({Kind::kCreated, name});
      } else if (raw.mask & IN_CLOSE_WRITE) {
        events.push_back({Kind::kClosedAfterWrite, name});
      } else if (raw.mask & IN_MOVED_TO) {
        events.push_back({Kind::kMovedIn, name});
      } else if (raw.mask & (IN_DELETE | IN_MOVED_FROM)) {
        events.push_back({Kind::kRemoved, name});
      }
    }
  }
  return events;
}

}  // namespace velmarin
