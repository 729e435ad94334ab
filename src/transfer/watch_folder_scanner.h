#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "platform/directory_listing.h"

namespace velmarin {

// Lists a folder that is scanned every cycle only when it may have changed since the last
// listing, so an idle watch folder with thousands of old images costs next to nothing.
// Adding, removing or renaming an entry changes the folder's modification time; a listing
// whose folder time lies within `coarse_time` of the listing's start is not trusted (a file
// system with coarse times could give a later change the same time), and a full listing runs
// at least every `full_scan_interval` in any case. So no change is ever missed.
class WatchFolderScanner {
 public:
  using Listing = std::optional<std::vector<DirectoryEntry>>;
  using Lister = std::function<Listing(const std::filesystem::path&)>;
  using Clock = std::chrono::steady_clock;

  struct Timing {
    std::chrono::nanoseconds full_scan_interval = std::chrono::seconds(10);
    std::chrono::nanoseconds coarse_time = std::chrono::seconds(2);
  };

  using Now = std::function<Clock::time_point()>;

  WatchFolderScanner() : WatchFolderScanner(Timing{}, ListDirectory) {}
  // Tests pass a lister that counts the listings, and a clock of their own.
  WatchFolderScanner(Timing timing, Lister lister, Now now = Clock::now)
      : timing_(timing), lister_(std::move(lister)), now_(std::move(now)) {}

  // The entries of `folder`; nullopt when it cannot be listed, or when it cannot have changed
  // since the last listing.
  Listing Scan(const std::filesystem::path& folder);

 private:
  struct FolderStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const FolderStamp&) const = default;
  };
  struct Cached {
    std::filesystem::path folder;
    FolderStamp stamp;
    Clock::time_point listed_at;
  };

  static std::optional<FolderStamp> StampOf(const std::filesystem::path& folder);

  Timing timing_;
  Lister lister_;
  Now now_;
  std::optional<Cached> cached_;
};

}  // namespace velmarin
