#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

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
class SerialMemo {
 public:
  using Clock = std::chrono::steady_clock;

  static constexpr Clock::duration kLife = std::chrono::minutes(1);
  // Searches of other names (other IDs, other days) kept at once.
  static constexpr std::size_t kKept = 8;

  explicit SerialMemo(FolderTimeMargins margins = {}) : margins_(margins) {}

  // The memo of this process, shared by its threads.
  static SerialMemo& OfProcess();
  // How close to a listing the folder's times are not trusted (tests set none).
  void SetMargins(const FolderTimeMargins& margins);

  // Where the search of `key` (the pattern of the names) may start in the folder whose
  // stamp is `stamp` now; nullopt when the folder must be listed.
  std::optional<int> StartOf(const std::string& key, const FolderStamp& stamp,
                             Clock::time_point now);

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
  };

  std::mutex mutex_;
  FolderTimeMargins margins_;
  std::map<std::string, Entry> entries_;
};

}  // namespace velmarin
