#include "transfer/watch_folder_scanner.h"

#include <sys/stat.h>

#include <ctime>

namespace velmarin {
namespace {

std::int64_t WallClockNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

std::optional<WatchFolderScanner::FolderStamp> WatchFolderScanner::StampOf(
    const std::filesystem::path& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return FolderStamp{
      static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

WatchFolderScanner::Listing WatchFolderScanner::Scan(const std::filesystem::path& folder) {
  const auto stamp = StampOf(folder);
  const Clock::time_point now = now_();
  if (cached_ && stamp && cached_->folder == folder && cached_->stamp == *stamp &&
      now - cached_->listed_at < timing_.full_scan_interval) {
    return std::nullopt;
  }
  const std::int64_t listing_started_ns = WallClockNs();
  Listing listing = lister_(folder);
  // A folder changed just before the listing may change again without a new time.
  if (listing && stamp && stamp->modified_ns + timing_.coarse_time.count() < listing_started_ns) {
    cached_ = Cached{folder, *stamp, now};
  } else {
    cached_.reset();
  }
  return listing;
}

}  // namespace velmarin
