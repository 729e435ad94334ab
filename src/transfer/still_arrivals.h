#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "naming/local_time.h"
#include "platform/directory_listing.h"
#include "settings/settings.h"

namespace velmarin {

// Which file a still is: a new file saved over an old name has another inode (and birth
// time), a rename keeps both, a rewrite in place keeps both.
struct StillIdentity {
  std::string name;
  std::uint64_t inode = 0;
  std::int64_t birth_time_ns = 0;  // 0 where the file system keeps no birth time
  bool operator==(const StillIdentity&) const = default;
};

StillIdentity IdentityOf(const DirectoryEntry& entry);

// What held when a still arrived: its name and stamps use these, however long it waits.
struct ArrivalBinding {
  Cp932Text capture_id;
  LocalTime clock;
  Settings settings;
};

// One still seen arriving in the watch folder, with what held at that moment.
struct ArrivedStill {
  std::filesystem::path path;
  StillIdentity identity;
  std::int64_t creation_time_ns = 0;  // the order in which stills are taken
  ArrivalBinding binding;
  // Its writer closed it, or it was moved in. A still found only by a listing is complete
  // once it has stopped changing (WaitUntilComplete).
  bool known_complete = false;
  int count = 0;  // its place in ImageCount, once it went out
  // Taken again from the journal of a run that ended: it goes out under the ID it arrived
  // with and is not counted in this run's ImageCount.
  bool from_last_run = false;
};

// How an entry came to be looked at.
enum class Sighting {
  kListed,            // a listing shows it; nothing is known about its writer
  kCreated,           // just made: its writer is still at work
  kClosedAfterWrite,  // its writer closed it
  kMovedIn,           // renamed or moved in, whole
};

// The folder thread's memory of the watch folder's stills, kept across the restarts of the
// settings commands: which stills it has seen (each is taken once), which are still being
// written, and the new ones waiting to be transferred, oldest first. The event path and
// the listing decide through the same Note.
class StillArrivals {
 public:
  // Starts over on `folder`: the stills of `entries` (a listing) were there before and are
  // never taken. Stills already waiting stay.
  void Rebase(const std::filesystem::path& folder, const std::vector<DirectoryEntry>& entries);
  const std::filesystem::path& folder() const { return folder_; }

  // Looks at one entry. A still not seen before has arrived now, with `binding`; it waits
  // for its writer when `how` says one is at work, else it joins the stills to transfer.
  void Note(const DirectoryEntry& entry, Sighting how, const ArrivalBinding& binding);
  // The entry `name` is gone: a later file of that name is a new still.
  void NoteRemoved(const std::string& name);
  // Notes every entry of a whole listing of the folder. With `forget_absent`, what the
  // listing does not show is gone.
  void NoteListing(const std::vector<DirectoryEntry>& entries, const ArrivalBinding& binding,
                   bool forget_absent);

  // Monitoring stops: stills whose writers are still at work join the waiting ones, to be
  // taken once they have stopped changing.
  void StopWaitingForWriters();
  // The oldest still whose writer is still at work; nullptr when there is none.
  const ArrivedStill* OldestBeingWritten() const;

  bool HasWaiting() const { return held_.has_value() || !waiting_.empty(); }
  std::size_t WaitingCount() const { return waiting_.size() + (held_ ? 1 : 0); }
  // The oldest still waiting to be transferred (the one held back, if any); the caller
  // transfers it.
  ArrivedStill TakeOldest();
  // A still whose transfer failed on the target side goes back to the head of the line:
  // it is taken next, before every still that arrived after it.
  void HoldBack(ArrivedStill still) { held_ = std::move(still); }
  const ArrivedStill* held() const { return held_ ? &*held_ : nullptr; }
  // A still that could not be read is taken again only when it changes: its writer closes
  // it again, or a listing shows another size. One that never stopped changing
  // (`never_complete`) is taken again only when its writer closes it, so a file that grows
  // for ever does not hold the others back again and again.
  void NoteUnreadable(ArrivedStill still, bool never_complete);
  // Stills taken again at start-up from the journal of a run that ended before their
  // transfer; they wait like stills that arrived, marked `from_last_run`.
  void Restore(std::vector<ArrivedStill> stills);
  // Every still not yet transferred, in the order they are taken, then those still being
  // written: what the journal keeps.
  std::vector<const ArrivedStill*> Pending() const;
  // Increases whenever a still joins the waiting ones or starts being written.
  std::uint64_t arrivals() const { return arrivals_; }

 private:
  void Enqueue(ArrivedStill still);

  std::filesystem::path folder_;
  std::unordered_map<std::string, StillIdentity> seen_;          // by name
  std::unordered_map<std::string, ArrivedStill> being_written_;  // by name
  std::deque<ArrivedStill> waiting_;                             // by creation time, then name
  std::optional<ArrivedStill> held_;  // failed on the target side; goes before all others
  struct Unreadable {
    ArrivedStill still;
    std::uint64_t size = 0;
    bool never_complete = false;
  };
  std::unordered_map<std::string, Unreadable> unreadable_;  // by name
  std::uint64_t arrivals_ = 0;
};

enum class StillFormat { kNone, kJpeg, kBmp, kPng };

// The format of a still by its name: one that ends with ".jpg", ".jpeg", ".bmp" or ".png" in
// any case; kNone for every other name. Temporary names ("x.jpg.AbC123", "x.jpg.part") are
// not stills; the names they are renamed to are.
StillFormat StillFormatOf(std::string_view name);
inline bool IsStillName(std::string_view name) { return StillFormatOf(name) != StillFormat::kNone; }

}  // namespace velmarin
