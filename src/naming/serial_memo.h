#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "naming/serial_memo_file.h"
#include "platform/folder_stamp.h"

namespace velmarin {

// What the last serial search of a folder found, kept in the process so that the next still
// of a station does not list a folder of thousands of images again. Every number below the
// kept start was found unusable by a listing; numbers added since (by anyone) only push the
// choice higher, and the search looks each number up from the start on. A removal could lower
// the choice, so the start holds only while the folder's stamp is the one the listing (or this
// process's own claim since) left; a folder changed otherwise is listed again.
//
// Only for folders on a file system of this machine, whose times every change moves; the
// caller lists network and user-space folders every time. A change by another program in the
// clock step of one of this process's claims is not seen until the folder changes again or
// the listing is `kLife` old: it can only make the search skip a freed gap, never reuse a name,
// as the claim decides.
//
// With a file (the process's memo: SerialMemoFilePath), what the memo learns is also kept
// there for the next process, and a search with nothing in memory starts from what the file
// holds for the same folder, stamp and names, by the same rules, its age by the wall clock.
class SerialMemo {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr Clock::duration kLife = std::chrono::minutes(1);
  // Searches of other names (other IDs, other days) kept at once.
  static constexpr std::size_t kKept = 8;

  explicit SerialMemo(FolderTimeMargins margins = {}, std::filesystem::path file = {})
      : margins_(margins), file_(std::move(file)) {}

  // The memo of this process, shared by its threads.
  static SerialMemo& OfProcess();

  // Where the search of `key` (the pattern of the names) may start in the folder whose
  // stamp is `stamp` now (`now_ns` by the wall clock); nullopt when the folder must be listed.
  std::optional<int> StartOf(const std::string& key, const FolderStamp& stamp,
                             Clock::time_point now, std::int64_t now_ns = WallClockNs());

  // A listing of the folder, begun at `listed_ns` (wall clock) with the folder at `stamp`,
  // found `chosen`. Kept only when the stamp is sure to move with a later change.
  void NoteListing(const std::string& key, const FolderStamp& stamp, int chosen,
                   std::int64_t listed_ns, Clock::time_point now);

  // This process claimed `serial` from a search that saw the folder at `searched`; `after` is
  // the folder's stamp now. The claim (and the work file beside it) moved the folder's times:
  // the start moves behind the serial and the new stamp is kept, when nothing else was noted
  // meanwhile.
  void NoteClaim(const std::string& key, const FolderStamp& searched, const FolderStamp& after,
                 int serial);

 private:
  struct Entry {
    FolderStamp stamp;
    int start = 1;
    Clock::time_point listed_at;
    std::int64_t listed_ns = 0;  // the same moment by the wall clock
  };
  using Entries = std::map<std::string, Entry>;

  Entries::iterator Keep(const std::string& key, const Entry& entry);
  // The file's start for `key` and `stamp`, taken into memory; entries_.end() when none holds.
  Entries::iterator Recall(const std::string& key, const FolderStamp& stamp, Clock::time_point now,
                           std::int64_t now_ns);
  // Puts the entry of `key` into the file, in place of the one of the same folder and names.
  void Save(const std::string& key, const Entry& entry);
  void LoadOnce();

  std::mutex mutex_;
  FolderTimeMargins margins_;
  Entries entries_;
  const std::filesystem::path file_;  // empty: kept in memory alone
  bool loaded_ = false;
  std::vector<SavedSerialStart> saved_;  // the file's starts, as read once and written since
};

}  // namespace velmarin
