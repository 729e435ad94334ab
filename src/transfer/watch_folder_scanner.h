#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory_listing.h"
#include "platform/folder_stamp.h"

namespace velmarin {

// Looks at a watch folder that sends no file events (NFS, SMB, FUSE) at every cycle, at next
// to no cost however many old images it holds. Names and inode numbers come from the folder
// itself (getdents); only entries that are new, or another file than before under their
// name (another inode number), are looked at one by one (stat). The folder is listed only
// when its own modification time moved (adding, removing or renaming an entry moves it); a
// time too close to the listing is not trusted, as a later change could keep it (Timing). Some file
// systems do not keep a folder's time: a listing made to check, every `check_interval` and never
// more often than its own cost allows (a thousandth of the time), that finds a change the time did
// not show makes every later cycle list. Entries whose inode numbers are made up (0, or FUSE's
// 0xFFFFFFFF) are looked at whenever the folder is listed.
class WatchFolderScanner {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;

  struct Timing {
    std::chrono::nanoseconds check_interval = std::chrono::seconds(10);
    // How close to the listing a folder time is not trusted: a file system that keeps whole
    // seconds (FAT: two) may give a later change the same time; one that keeps fractions of
    // a second steps by a clock tick at most.
    std::chrono::nanoseconds coarse_time = std::chrono::seconds(2);
    std::chrono::nanoseconds fine_time = std::chrono::milliseconds(100);
  };
  // How the folder is read; tests count the calls.
  struct Reader {
    std::function<std::optional<std::vector<DirectoryName>>(const std::filesystem::path&)> names =
        ListDirectoryNames;
    std::function<std::optional<std::vector<DirectoryEntry>>(const std::filesystem::path&,
                                                             const std::vector<std::string>&)>
        query = QueryDirectoryEntries;
  };

  // What changed since the last scan.
  struct Changes {
    // Entries that are new, another file than before under their name, or (for the names
    // given to Scan) written since.
    std::vector<DirectoryEntry> changed;
    std::vector<std::string> removed;  // names gone since the last listing
    bool whole = false;                // the first listing of the folder: every entry
  };

  WatchFolderScanner();
  WatchFolderScanner(Timing timing, Reader reader, Now now = Clock::now);
  ~WatchFolderScanner();
  WatchFolderScanner(WatchFolderScanner&&) noexcept;
  WatchFolderScanner& operator=(WatchFolderScanner&&) noexcept;

  // What changed in `folder` since the last scan; nullopt when it cannot be listed or
  // nothing changed. The entries named `watched` (stills waited for or taken lately, whose
  // rewrite in place moves no folder time) are looked at every time. Another folder at its
  // path (a remount, a folder made again) is listed whole, as the first time.
  std::optional<Changes> Scan(const std::filesystem::path& folder,
                              const std::vector<std::string>& watched = {});
  // Forgets the last listing: the next scan gives the whole folder.
  void Reset();

 private:
  struct Cache;  // what the last listing showed

  // Lists the folder and compares it with `cache_`; false when it cannot be listed.
  bool List(const std::filesystem::path& folder, const FolderStamp& stamp, Changes& changes);
  void LookAgainAt(const std::filesystem::path& folder, const std::vector<std::string>& names,
                   Changes& changes);
  void NoteRecent(const std::string& name);

  Timing timing_;
  Reader reader_;
  Now now_;
  std::unique_ptr<Cache> cache_;
};

}  // namespace velmarin
