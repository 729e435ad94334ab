#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "base/own_message.h"
#include "naming/local_time.h"
#include "platform/directory_listing.h"
#include "settings/settings.h"
#include "transfer/watch_folder_record.h"

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

// What a file holds, as far as can be told without reading it: its writer's rewrite in place
// changes it. The same on another file system when the file was carried over whole.
struct StillVersion {
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  bool operator==(const StillVersion&) const = default;
};

StillVersion VersionOf(const DirectoryEntry& entry);

// What held when a still arrived: its name and stamps use these, however long it waits.
struct ArrivalBinding {
  Cp932Text capture_id;
  LocalTime clock;
  Settings settings;
};

// The name a still's image was about to take in the transfer folder, with the content of that
// image (ContentHash), noted before the claim: after a crash, a target that exists with that
// content was sent.
struct ClaimedTarget {
  std::filesystem::path target;
  std::string content_hash;
  bool operator==(const ClaimedTarget&) const = default;
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
  // Found at start-up: saved while the program was not running.
  bool saved_while_stopped = false;
  // The watch folder it arrived in (device, inode); {0, 0} when unknown.
  std::pair<std::uint64_t, std::uint64_t> folder_identity;
  std::optional<ClaimedTarget> claimed = {};  // once its image got as far as its claim
  // Renamed or moved in whole: its writer will not come back to it.
  bool moved_in = false;
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

// What a still's failed transfer said, held back while the failure may be its writer's
// pause; said when the still has not changed for the completeness bound.
struct HeldFailure {
  std::vector<std::variant<Cp932Text, OwnMessage>> messages;  // boxes
  Cp932Text text;  // for LastErrorText; empty when none was set
  Cp932Text detail;
};

// The folder thread's memory of the watch folder's stills, kept across the restarts of the
// settings commands: which stills it has seen (each is taken once), which are still being
// written, and the new ones waiting to be transferred, oldest first. The event path and
// the listing decide through the same Note. A still that was taken and is then written
// again in place by its writer (a capture program that always saves "snapshot.jpg") is a new
// capture.
class StillArrivals {
 public:
  using Clock = std::chrono::steady_clock;

  // The clock that dates the stills whose writers are at work (the monitor's clock).
  void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

  // Starts over on `folder`: the stills of `entries` (a listing) were there before and are
  // never taken. Stills already waiting stay.
  void Rebase(const std::filesystem::path& folder, const std::vector<DirectoryEntry>& entries);
  const std::filesystem::path& folder() const { return folder_; }
  // The folder itself (device, inode) now: the stills seen from now on arrive in it.
  void SetFolderIdentity(std::pair<std::uint64_t, std::uint64_t> identity) {
    folder_identity_ = identity;
  }

  // Looks at one entry. A still not seen before has arrived now, with `binding`; it waits
  // for its writer when `how` says one is at work, else it joins the stills to transfer. A
  // file its writer closed empty is still being written (some writers create the file, close
  // it and write it again).
  void Note(const DirectoryEntry& entry, Sighting how, const ArrivalBinding& binding);
  // The entry `name` is gone: a later file of that name is a new still.
  void NoteRemoved(const std::string& name);
  // A file made without a name (O_TMPFILE) and then linked into the folder, as Qt's
  // QSaveFile saves, is closed under its inode number ("#123"), not under its name.
  void NoteClosedByInode(std::uint64_t inode, const ArrivalBinding& binding);
  // Notes every entry of a whole listing of the folder. With `forget_absent`, what the
  // listing does not show is gone.
  void NoteListing(const std::vector<DirectoryEntry>& entries, const ArrivalBinding& binding,
                   bool forget_absent);
  // Notes a whole listing of the watch folder after it went and came back, on the same file
  // system or another (a network folder that dropped, a folder made again, a link put in its
  // place): a still of a name seen before that holds what it held (its size and write time,
  // or the content of a still taken) is that still, whatever its inode now. Only the others
  // have arrived. Nothing absent is forgotten, as it may come back too. Returns how many
  // stills were known again.
  std::size_t NoteReturn(const std::vector<DirectoryEntry>& entries, const ArrivalBinding& binding);

  // Monitoring stops, or events were lost: stills whose writers are still at work join the
  // waiting ones in their place, to be taken once they have stopped changing.
  void StopWaitingForWriters();
  // The same for the stills whose writers have not closed them within `limit`.
  void StopWaitingForWritersOlderThan(std::chrono::milliseconds limit);
  // The oldest still whose writer is still at work; nullptr when there is none.
  const ArrivedStill* OldestBeingWritten() const;

  bool HasWaiting() const { return held_.has_value() || !waiting_.empty(); }
  // The still TakeOldest gives next; nullptr when none waits.
  const ArrivedStill* Next() const;
  std::size_t WaitingCount() const { return waiting_.size() + (held_ ? 1 : 0); }
  // The oldest still waiting to be transferred (the one held back, if any); the caller
  // transfers it.
  ArrivedStill TakeOldest();
  // The still at `path` is read now, as `entry` shows it: a later rewrite in place is a new
  // capture.
  void NoteTaken(const std::filesystem::path& path, const DirectoryEntry& entry);
  // A still whose transfer failed on the target side goes back to the head of the line:
  // it is taken next, before every still that arrived after it.
  void HoldBack(ArrivedStill still);
  const ArrivedStill* held() const { return held_ ? &*held_ : nullptr; }
  // A still that could not be read is taken again only when it changes: its writer closes
  // it again, or a listing shows another size or time. One that never stopped changing
  // (`never_complete`) is taken again only when its writer closes it, so a file that grows
  // for ever does not hold the others back again and again. `failure`, when given, is said
  // at `say_at` unless the still changes before (FailuresDue). False when the still is no
  // longer there as it was: nothing is kept (the caller says the failure).
  bool NoteUnreadable(ArrivedStill still, bool never_complete,
                      std::optional<HeldFailure> failure = std::nullopt,
                      Clock::time_point say_at = {});
  // The held failures whose time has come, with their stills' paths; each is given once.
  std::vector<std::pair<std::filesystem::path, HeldFailure>> FailuresDue(Clock::time_point now);
  // Stills taken again at start-up from the journal of a run that ended before their
  // transfer; they wait like stills that arrived, marked `from_last_run`.
  void Restore(std::vector<ArrivedStill> stills);
  // Every still not yet transferred, in the order they are taken, then those still being
  // written: what the journal keeps.
  std::vector<const ArrivedStill*> Pending() const;
  // Increases whenever a still joins the waiting ones or starts being written.
  std::uint64_t arrivals() const { return arrivals_; }
  // Names a listing looks at on every cycle, as their rewrite in place moves no folder time:
  // the stills taken lately and those that could not be read.
  std::vector<std::string> NamesToWatch() const;
  // What this memory has seen of its folder, for the next start (WatchFolderRecord).
  const WatchFolderRecord& record() const { return record_; }
  void SetRecordedId(Cp932Text id) { record_.SetCaptureId(std::move(id)); }

 private:
  enum class State {
    kPresent,  // there before; never taken
    kWaiting,  // arrived; being written, waiting, or held back
    kTaken,    // read for its transfer
  };
  struct Seen {
    StillIdentity identity;
    StillVersion version;
    State state = State::kPresent;
    std::optional<std::uint64_t> content;  // ContentDigest, for a still taken
  };
  struct Writing {
    ArrivedStill still;
    Clock::time_point since;
  };
  struct Unreadable {
    ArrivedStill still;
    StillVersion version;
    bool never_complete = false;
    std::optional<HeldFailure> failure;
    Clock::time_point say_at;
  };

  void Enqueue(ArrivedStill still);
  void See(const DirectoryEntry& entry, State state);
  // A still of this name was another file: everything kept about it is dropped.
  void Forget(const std::string& name);
  // The still `name` is on another file system now, as `entry`.
  void Rebind(const DirectoryEntry& entry);
  bool SameAsSeen(const Seen& seen, const DirectoryEntry& entry) const;

  std::function<Clock::time_point()> clock_ = Clock::now;
  std::filesystem::path folder_;
  std::pair<std::uint64_t, std::uint64_t> folder_identity_;
  std::unordered_map<std::string, Seen> seen_;              // by name
  std::unordered_map<std::string, Writing> being_written_;  // by name
  std::deque<ArrivedStill> waiting_;                        // by creation time, then name
  std::optional<ArrivedStill> held_;  // failed on the target side; goes before all others
  std::unordered_map<std::string, Unreadable> unreadable_;  // by name
  std::deque<std::string> taken_lately_;                    // newest last
  std::uint64_t arrivals_ = 0;
  WatchFolderRecord record_;
};

// A digest of the content of `file` (within this process: it is never stored); nullopt when
// it cannot be read.
std::optional<std::uint64_t> ContentDigest(const std::filesystem::path& file);

enum class StillFormat { kNone, kJpeg, kBmp, kPng };

// The format of a still by its name: one that ends with ".jpg", ".jpeg", ".bmp" or ".png" in
// any case; kNone for every other name. Temporary names ("x.jpg.AbC123", "x.jpg.part") are
// not stills; the names they are renamed to are.
StillFormat StillFormatOf(std::string_view name);
inline bool IsStillName(std::string_view name) { return StillFormatOf(name) != StillFormat::kNone; }

}  // namespace velmarin
