#include "transfer/still_arrivals.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_set>

#include "base/unique_fd.h"

namespace velmarin {
namespace {

// How many of the stills taken last a listing looks at on every cycle.
constexpr std::size_t kTakenLately = 16;

bool IsStill(const DirectoryEntry& entry) { return entry.regular_file && IsStillName(entry.name); }

bool Older(const ArrivedStill& a, const ArrivedStill& b) {
  if (a.creation_time_ns != b.creation_time_ns) return a.creation_time_ns < b.creation_time_ns;
  return a.identity.name < b.identity.name;
}

std::int64_t WallClockNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Write times compared across file systems: one that keeps whole seconds only (SMB servers,
// FAT, copies made without nanoseconds) gives the same second.
bool SameWriteTime(std::int64_t a, std::int64_t b) {
  constexpr std::int64_t kSecond = 1'000'000'000;
  if (a == b) return true;
  return a / kSecond == b / kSecond && (a % kSecond == 0 || b % kSecond == 0);
}

}  // namespace

StillIdentity IdentityOf(const DirectoryEntry& entry) {
  return {entry.name, entry.inode, entry.birth_time_ns};
}

StillVersion VersionOf(const DirectoryEntry& entry) { return {entry.size, entry.modified_ns}; }

std::optional<std::uint64_t> ContentDigest(const std::filesystem::path& file) {
  const UniqueFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  std::string chunk(1 << 20, '\0');
  std::uint64_t digest = 14695981039346656037ull;
  while (true) {
    const ssize_t got = read(fd.get(), chunk.data(), chunk.size());
    if (got < 0) return std::nullopt;
    if (got == 0) return digest;
    digest = (digest ^ std::hash<std::string_view>{}(
                           std::string_view(chunk.data(), static_cast<std::size_t>(got)))) *
             1099511628211ull;
  }
}

void StillArrivals::Rebase(const std::filesystem::path& folder,
                           const std::vector<DirectoryEntry>& entries) {
  folder_ = folder;
  seen_.clear();
  being_written_.clear();
  unreadable_.clear();
  taken_lately_.clear();
  std::vector<DirectoryEntry> stills;
  for (const DirectoryEntry& entry : entries) {
    if (!IsStill(entry)) continue;
    seen_.insert_or_assign(entry.name,
                           Seen{IdentityOf(entry), VersionOf(entry), State::kPresent, {}});
    stills.push_back(entry);
  }
  record_.Reset(folder, stills, WallClockNs());
  // Stills that wait already (from the journal, or saved while the program was stopped) are
  // not there from before: they are waiting.
  for (const ArrivedStill* still : Pending()) {
    const auto seen = seen_.find(still->identity.name);
    if (seen != seen_.end() && seen->second.identity == still->identity) {
      seen->second.state = State::kWaiting;
    }
  }
}

void StillArrivals::See(const DirectoryEntry& entry, State state) {
  seen_.insert_or_assign(entry.name, Seen{IdentityOf(entry), VersionOf(entry), state, {}});
  record_.Saw(entry, WallClockNs());
}

void StillArrivals::Note(const DirectoryEntry& entry, Sighting how, const ArrivalBinding& binding) {
  if (!IsStill(entry)) {
    NoteRemoved(entry.name);
    return;
  }
  // Some writers create the file, close it empty and write it again: not done yet.
  if (how == Sighting::kClosedAfterWrite && entry.size == 0) how = Sighting::kCreated;
  const StillIdentity identity = IdentityOf(entry);
  const StillVersion version = VersionOf(entry);
  const bool writer_done = how == Sighting::kClosedAfterWrite || how == Sighting::kMovedIn;
  record_.Saw(entry, WallClockNs());
  if (const auto writing = being_written_.find(entry.name); writing != being_written_.end()) {
    if (writing->second.still.identity == identity) {
      seen_[entry.name].version = version;
      if (writer_done) {
        ArrivedStill still = std::move(writing->second.still);
        being_written_.erase(writing);
        still.known_complete = true;
        Enqueue(std::move(still));
      }
      return;
    }
    being_written_.erase(writing);  // replaced before it was finished
  }
  if (const auto seen = seen_.find(entry.name); seen != seen_.end()) {
    Seen& known = seen->second;
    if (!(known.identity == identity)) {
      Forget(entry.name);  // another file under an old name: a new still
    } else if (known.state == State::kPresent &&
               (how == Sighting::kCreated || how == Sighting::kMovedIn)) {
      // Made while the folder was listed at the start: the folder was watched by then, so
      // this is no still from before but a new one.
      Forget(entry.name);
    } else if (known.version == version) {
      // Nothing new: the closing of a still a listing found first, or a close after no write.
      if (writer_done) {
        for (ArrivedStill& still : waiting_) {
          if (still.identity == identity) still.known_complete = true;
        }
      }
      return;
    } else if (const auto bad = unreadable_.find(entry.name);
               bad != unreadable_.end() && bad->second.still.identity == identity) {
      // Changed since it could not be read: taken again once its writer has closed it, or
      // once a listing shows it changed (unless it never stopped changing).
      known.version = version;
      if (how == Sighting::kClosedAfterWrite || how == Sighting::kMovedIn ||
          (how == Sighting::kListed && !bad->second.never_complete)) {
        ArrivedStill again = std::move(bad->second.still);
        unreadable_.erase(bad);
        again.known_complete = writer_done;
        known.state = State::kWaiting;
        Enqueue(std::move(again));
      }
      return;
    } else if (known.state == State::kWaiting) {
      // Written on while it waits: it is read as it is when its turn comes.
      known.version = version;
      if (writer_done) {
        for (ArrivedStill& still : waiting_) {
          if (still.identity == identity) still.known_complete = true;
        }
      }
      return;
    }
    // Otherwise written again in place after it was taken, or after it was there at the
    // start: a new capture.
  }
  seen_.insert_or_assign(entry.name, Seen{identity, version, State::kWaiting, {}});
  ArrivedStill still{
      folder_ / entry.name, identity, entry.creation_time_ns, binding, writer_done, 0, false,
      folder_identity_};
  // A link made to a file that is already whole has no writer to wait for.
  const bool linked = entry.symbolic_link || entry.link_count > 1;
  if (how == Sighting::kCreated && !linked) {
    being_written_.insert_or_assign(entry.name, Writing{std::move(still), clock_()});
    ++arrivals_;
    return;
  }
  still.known_complete = writer_done || how == Sighting::kCreated;  // created as a link
  still.moved_in = how == Sighting::kMovedIn;
  Enqueue(std::move(still));
}

void StillArrivals::Forget(const std::string& name) {
  seen_.erase(name);
  being_written_.erase(name);
  unreadable_.erase(name);
  std::erase(taken_lately_, name);
}

void StillArrivals::NoteRemoved(const std::string& name) { Forget(name); }

void StillArrivals::NoteClosedByInode(std::uint64_t inode, const ArrivalBinding& binding) {
  for (const auto& [name, writing] : being_written_) {
    if (writing.still.identity.inode != inode) continue;
    if (const auto entry = QueryDirectoryEntry(folder_, name)) {
      Note(*entry, Sighting::kClosedAfterWrite, binding);
    }
    return;
  }
}

void StillArrivals::NoteListing(const std::vector<DirectoryEntry>& entries,
                                const ArrivalBinding& binding, bool forget_absent) {
  std::unordered_set<std::string> present;
  for (const DirectoryEntry& entry : entries) {
    if (!IsStill(entry)) continue;
    present.insert(entry.name);
    Note(entry, Sighting::kListed, binding);
  }
  if (!forget_absent) return;
  std::vector<std::string> absent;
  for (const auto& [name, seen] : seen_) {
    if (!present.contains(name)) absent.push_back(name);
  }
  for (const auto& [name, writing] : being_written_) {
    if (!present.contains(name)) absent.push_back(name);
  }
  for (const std::string& name : absent) Forget(name);
}

bool StillArrivals::SameAsSeen(const Seen& seen, const DirectoryEntry& entry) const {
  if (seen.version.size != entry.size) return false;
  if (SameWriteTime(seen.version.modified_ns, entry.modified_ns)) return true;
  // A still taken was read whole: a copy that kept no time is known by its content.
  return seen.content && ContentDigest(folder_ / entry.name) == seen.content;
}

std::size_t StillArrivals::NoteReturn(const std::vector<DirectoryEntry>& entries,
                                      const ArrivalBinding& binding) {
  std::size_t known_again = 0;
  for (const DirectoryEntry& entry : entries) {
    if (!IsStill(entry)) continue;
    const auto seen = seen_.find(entry.name);
    if (seen != seen_.end() && SameAsSeen(seen->second, entry)) {
      if (!(seen->second.identity == IdentityOf(entry))) Rebind(entry);
      ++known_again;
      continue;
    }
    Note(entry, Sighting::kListed, binding);
  }
  return known_again;
}

void StillArrivals::Rebind(const DirectoryEntry& entry) {
  Seen& seen = seen_[entry.name];
  const StillIdentity old = seen.identity;
  seen.identity = IdentityOf(entry);
  seen.version = VersionOf(entry);
  bool pending = false;
  const auto rebind = [&](ArrivedStill& still) {
    if (!(still.identity == old) || still.path.parent_path() != folder_) return;
    still.identity = seen.identity;
    still.folder_identity = folder_identity_;
    pending = true;
  };
  for (ArrivedStill& still : waiting_) rebind(still);
  if (held_) rebind(*held_);
  if (const auto writing = being_written_.find(entry.name); writing != being_written_.end()) {
    rebind(writing->second.still);
  }
  if (const auto bad = unreadable_.find(entry.name); bad != unreadable_.end()) {
    rebind(bad->second.still);
    bad->second.version = seen.version;
  }
  // The journal names the stills by their identity.
  if (pending) ++arrivals_;
}

void StillArrivals::StopWaitingForWriters() {
  StopWaitingForWritersOlderThan(std::chrono::milliseconds(0));
}

void StillArrivals::StopWaitingForWritersOlderThan(std::chrono::milliseconds limit) {
  const Clock::time_point now = clock_();
  for (auto it = being_written_.begin(); it != being_written_.end();) {
    if (now - it->second.since < limit) {
      ++it;
      continue;
    }
    ArrivedStill still = std::move(it->second.still);
    still.known_complete = false;
    it = being_written_.erase(it);
    Enqueue(std::move(still));
  }
}

const ArrivedStill* StillArrivals::OldestBeingWritten() const {
  const ArrivedStill* oldest = nullptr;
  for (const auto& [name, writing] : being_written_) {
    const ArrivedStill& still = writing.still;
    if (!oldest || std::tie(still.creation_time_ns, still.path) <
                       std::tie(oldest->creation_time_ns, oldest->path)) {
      oldest = &still;
    }
  }
  return oldest;
}

const ArrivedStill* StillArrivals::Next() const {
  if (held_) return &*held_;
  return waiting_.empty() ? nullptr : &waiting_.front();
}

ArrivedStill StillArrivals::TakeOldest() {
  if (held_) {
    ArrivedStill still = std::move(*held_);
    held_.reset();
    return still;
  }
  ArrivedStill still = std::move(waiting_.front());
  waiting_.pop_front();
  return still;
}

void StillArrivals::NoteTaken(const std::filesystem::path& path, const DirectoryEntry& entry) {
  if (path.parent_path() != folder_) return;  // a still of a folder watched before
  See(entry, State::kTaken);
  seen_[entry.name].content = ContentDigest(path);
  std::erase(taken_lately_, entry.name);
  taken_lately_.push_back(entry.name);
  if (taken_lately_.size() > kTakenLately) taken_lately_.pop_front();
}

void StillArrivals::HoldBack(ArrivedStill still) {
  // Not yet read for good: a write meanwhile is read with it, not taken as a new capture.
  if (const auto seen = seen_.find(still.identity.name);
      seen != seen_.end() && seen->second.identity == still.identity) {
    seen->second.state = State::kWaiting;
  }
  held_ = std::move(still);
}

bool StillArrivals::NoteUnreadable(ArrivedStill still, bool never_complete,
                                   std::optional<HeldFailure> failure, Clock::time_point say_at) {
  const auto entry = QueryDirectoryEntry(still.path.parent_path(), still.identity.name);
  if (!entry || !(IdentityOf(*entry) == still.identity)) return false;
  std::string name = still.identity.name;
  unreadable_.insert_or_assign(
      std::move(name),
      Unreadable{std::move(still), VersionOf(*entry), never_complete, std::move(failure), say_at});
  return true;
}

std::vector<std::pair<std::filesystem::path, HeldFailure>> StillArrivals::FailuresDue(
    Clock::time_point now) {
  std::vector<std::pair<std::filesystem::path, HeldFailure>> due;
  for (auto& [name, bad] : unreadable_) {
    if (!bad.failure || bad.say_at > now) continue;
    due.emplace_back(bad.still.path, std::move(*bad.failure));
    bad.failure.reset();
  }
  return due;
}

void StillArrivals::Restore(std::vector<ArrivedStill> stills) {
  for (ArrivedStill& still : stills) {
    still.from_last_run = true;
    Enqueue(std::move(still));
  }
}

std::vector<const ArrivedStill*> StillArrivals::Pending() const {
  std::vector<const ArrivedStill*> pending;
  if (held_) pending.push_back(&*held_);
  for (const ArrivedStill& still : waiting_) pending.push_back(&still);
  for (const auto& [name, writing] : being_written_) pending.push_back(&writing.still);
  return pending;
}

std::vector<std::string> StillArrivals::NamesToWatch() const {
  std::vector<std::string> names(taken_lately_.begin(), taken_lately_.end());
  for (const auto& [name, bad] : unreadable_) {
    if (std::ranges::find(names, name) == names.end()) names.push_back(name);
  }
  return names;
}

void StillArrivals::Enqueue(ArrivedStill still) {
  ++arrivals_;
  waiting_.insert(std::upper_bound(waiting_.begin(), waiting_.end(), still, Older),
                  std::move(still));
}

}  // namespace velmarin
