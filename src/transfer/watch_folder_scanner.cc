#include "transfer/watch_folder_scanner.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

namespace velmarin {
namespace {

// Names that changed lately, looked at again when the folder's time moved and its listing
// shows no change: a file replaced by another that got the old one's inode number.
constexpr std::size_t kRecentNames = 64;
// A listing made only to check the folder's time may cost a thousandth of the time.
constexpr int kCheckCostFactor = 1000;

bool SameFile(const DirectoryEntry& a, const DirectoryEntry& b) {
  return a.inode == b.inode && a.birth_time_ns == b.birth_time_ns && a.size == b.size &&
         a.modified_ns == b.modified_ns && a.regular_file == b.regular_file;
}

// Whether an inode number the folder gave can be compared: FUSE file systems that make their
// numbers up give 0xFFFFFFFF for every name, some give 0.
bool KnownInode(std::uint64_t inode) { return inode != 0 && inode != 0xFFFF'FFFF; }

}  // namespace

struct WatchFolderScanner::Cache {
  struct Known {
    std::uint64_t listed_inode = 0;  // d_ino as the folder gave it
    std::uint64_t listing = 0;       // the last listing that showed it
    DirectoryEntry entry;
  };
  std::filesystem::path folder;
  std::uint64_t device = 0;  // the folder itself: another one at its path is listed whole
  std::uint64_t inode = 0;
  std::optional<FolderStamp> trusted;  // the folder's time, when it can be trusted
  std::unordered_map<std::string, Known> known;
  std::uint64_t listing = 0;  // listings made, so what one did not show is told apart
  Clock::time_point checked_at;
  std::chrono::nanoseconds check_interval{};
  bool folder_time_kept = true;    // false once a change was found that the time did not show
  std::deque<std::string> recent;  // names that changed lately, newest last
};

WatchFolderScanner::WatchFolderScanner() : WatchFolderScanner(Timing{}, Reader{}) {}
WatchFolderScanner::WatchFolderScanner(Timing timing, Reader reader, Now now)
    : timing_(timing), reader_(std::move(reader)), now_(std::move(now)) {}
WatchFolderScanner::~WatchFolderScanner() = default;
WatchFolderScanner::WatchFolderScanner(WatchFolderScanner&&) noexcept = default;
WatchFolderScanner& WatchFolderScanner::operator=(WatchFolderScanner&&) noexcept = default;

void WatchFolderScanner::Reset() { cache_.reset(); }

std::optional<WatchFolderScanner::Changes> WatchFolderScanner::Scan(
    const std::filesystem::path& folder, const std::vector<std::string>& watched) {
  auto stamp = StampOfFolder(folder);
  Changes changes;
  if (!stamp) {
    cache_.reset();
    return std::nullopt;
  }
  // The watch goes by the modification time alone: a folder that does not keep it is found
  // out by the checking listing.
  stamp->changed_ns = 0;
  if (!cache_ || cache_->folder != folder || cache_->device != stamp->device ||
      cache_->inode != stamp->inode) {
    cache_ = std::make_unique<Cache>();
    cache_->folder = folder;
    cache_->device = stamp->device;
    cache_->inode = stamp->inode;
    changes.whole = true;
    if (!List(folder, *stamp, changes)) return std::nullopt;
    return changes;
  }
  const bool moved = !cache_->folder_time_kept || cache_->trusted != stamp;
  if (moved || now_() - cache_->checked_at >= cache_->check_interval) {
    if (!List(folder, *stamp, changes)) return std::nullopt;
    if (!moved && (!changes.changed.empty() || !changes.removed.empty())) {
      cache_->folder_time_kept = false;  // this file system does not keep its folders' times
    }
  }
  LookAgainAt(folder, watched, changes);
  if (changes.changed.empty() && changes.removed.empty()) return std::nullopt;
  return changes;
}

bool WatchFolderScanner::List(const std::filesystem::path& folder, const FolderStamp& stamp,
                              Changes& changes) {
  const auto started = Clock::now();
  const std::int64_t started_ns = WallClockNs();
  const auto names = reader_.names(folder);
  if (!names) {
    cache_.reset();
    return false;
  }
  Cache& cache = *cache_;
  ++cache.listing;
  // Names the folder lists as before are the files they were; the rest are looked at.
  std::vector<std::string> look_at;
  std::unordered_map<std::string, std::uint64_t> listed_inodes;
  for (const DirectoryName& name : *names) {
    const auto before = cache.known.find(name.name);
    if (before != cache.known.end()) {
      before->second.listing = cache.listing;
      if (KnownInode(name.inode) && before->second.listed_inode == name.inode) continue;
    }
    look_at.push_back(name.name);
    listed_inodes.emplace(name.name, name.inode);
  }
  // What the last listing had and this one has not is gone.
  std::erase_if(cache.known, [&](const auto& known) {
    if (known.second.listing == cache.listing) return false;
    changes.removed.push_back(known.first);
    return true;
  });
  if (look_at.empty() && changes.removed.empty() && !changes.whole) {
    // The folder's time moved, yet every name has its file: one may have been replaced by a
    // file that got the old inode number back.
    for (const std::string& name : cache.recent) {
      if (cache.known.contains(name)) look_at.push_back(name);
    }
  }
  if (!look_at.empty()) {
    const auto entries = reader_.query(folder, look_at);
    if (!entries) {
      cache_.reset();
      return false;
    }
    for (const DirectoryEntry& entry : *entries) {
      const auto listed = listed_inodes.find(entry.name);
      Cache::Known& slot = cache.known[entry.name];
      slot.listing = cache.listing;
      if (listed != listed_inodes.end()) slot.listed_inode = listed->second;
      if (!changes.whole && slot.entry.inode != 0 && SameFile(slot.entry, entry)) continue;
      slot.entry = entry;
      changes.changed.push_back(entry);
      if (!changes.whole) NoteRecent(entry.name);
    }
  }
  // A time close to the listing may stay the same through a later change.
  if (StampSettledBefore(stamp, started_ns, {timing_.coarse_time, timing_.fine_time})) {
    cache.trusted = stamp;
  } else {
    cache.trusted.reset();
  }
  cache.checked_at = now_();
  cache.check_interval =
      std::max(std::chrono::duration_cast<std::chrono::nanoseconds>(timing_.check_interval),
               (Clock::now() - started) * kCheckCostFactor);
  return true;
}

void WatchFolderScanner::LookAgainAt(const std::filesystem::path& folder,
                                     const std::vector<std::string>& names, Changes& changes) {
  std::vector<std::string> look_at;
  for (const std::string& name : names) {
    const bool reported = std::ranges::any_of(
        changes.changed, [&](const DirectoryEntry& entry) { return entry.name == name; });
    if (!reported && cache_->known.contains(name)) look_at.push_back(name);
  }
  if (look_at.empty()) return;
  const auto entries = reader_.query(folder, look_at);
  if (!entries) return;
  for (const DirectoryEntry& entry : *entries) {
    Cache::Known& slot = cache_->known[entry.name];
    if (SameFile(slot.entry, entry)) continue;
    slot.entry = entry;
    changes.changed.push_back(entry);
  }
}

void WatchFolderScanner::NoteRecent(const std::string& name) {
  std::deque<std::string>& recent = cache_->recent;
  if (const auto it = std::ranges::find(recent, name); it != recent.end()) recent.erase(it);
  recent.push_back(name);
  if (recent.size() > kRecentNames) recent.pop_front();
}

}  // namespace velmarin
