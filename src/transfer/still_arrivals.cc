#include "transfer/still_arrivals.h"

#include <algorithm>
#include <cctype>
#include <tuple>
#include <unordered_set>

namespace velmarin {
namespace {

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         std::equal(suffix.begin(), suffix.end(), name.end() - static_cast<long>(suffix.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

bool IsStill(const DirectoryEntry& entry) { return entry.regular_file && IsStillName(entry.name); }

bool Older(const ArrivedStill& a, const ArrivedStill& b) {
  if (a.creation_time_ns != b.creation_time_ns) return a.creation_time_ns < b.creation_time_ns;
  return a.identity.name < b.identity.name;
}

}  // namespace

StillFormat StillFormatOf(std::string_view name) {
  if (EndsWithIgnoringCase(name, ".jpg") || EndsWithIgnoringCase(name, ".jpeg")) {
    return StillFormat::kJpeg;
  }
  if (EndsWithIgnoringCase(name, ".bmp")) return StillFormat::kBmp;
  if (EndsWithIgnoringCase(name, ".png")) return StillFormat::kPng;
  return StillFormat::kNone;
}

StillIdentity IdentityOf(const DirectoryEntry& entry) {
  return {entry.name, entry.inode, entry.birth_time_ns};
}

void StillArrivals::Rebase(const std::filesystem::path& folder,
                           const std::vector<DirectoryEntry>& entries) {
  folder_ = folder;
  seen_.clear();
  being_written_.clear();
  unreadable_.clear();
  for (const DirectoryEntry& entry : entries) {
    if (IsStill(entry)) seen_.insert_or_assign(entry.name, IdentityOf(entry));
  }
}

void StillArrivals::Note(const DirectoryEntry& entry, Sighting how, const ArrivalBinding& binding) {
  if (!IsStill(entry)) {
    NoteRemoved(entry.name);
    return;
  }
  const StillIdentity identity = IdentityOf(entry);
  const bool writer_done = how == Sighting::kClosedAfterWrite || how == Sighting::kMovedIn;
  if (const auto writing = being_written_.find(entry.name); writing != being_written_.end()) {
    if (writing->second.identity == identity) {
      if (writer_done) {
        ArrivedStill still = std::move(writing->second);
        being_written_.erase(writing);
        still.known_complete = true;
        Enqueue(std::move(still));
      }
      return;
    }
    being_written_.erase(writing);  // replaced before it was finished
  }
  if (const auto seen = seen_.find(entry.name); seen != seen_.end() && seen->second == identity) {
    // Seen before: a rewrite in place, or the closing of a still a listing found first.
    if (const auto bad = unreadable_.find(entry.name); bad != unreadable_.end()) {
      if (bad->second.still.identity == identity &&
          (how == Sighting::kClosedAfterWrite ||
           (!bad->second.never_complete && entry.size != bad->second.size))) {
        ArrivedStill again = std::move(bad->second.still);
        unreadable_.erase(bad);
        again.known_complete = how == Sighting::kClosedAfterWrite;
        Enqueue(std::move(again));
      }
      return;
    }
    if (writer_done) {
      for (ArrivedStill& still : waiting_) {
        if (still.identity == identity) still.known_complete = true;
      }
    }
    return;
  }
  seen_.insert_or_assign(entry.name, identity);
  ArrivedStill still{folder_ / entry.name, identity, entry.creation_time_ns, binding, writer_done};
  // A link made to a file that is already whole has no writer to wait for.
  const bool linked = entry.symbolic_link || entry.link_count > 1;
  if (how == Sighting::kCreated && !linked) {
    being_written_.insert_or_assign(entry.name, std::move(still));
    ++arrivals_;
    return;
  }
  still.known_complete = writer_done || how == Sighting::kCreated;  // created as a link
  Enqueue(std::move(still));
}

void StillArrivals::NoteRemoved(const std::string& name) {
  seen_.erase(name);
  being_written_.erase(name);
  unreadable_.erase(name);
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
  std::erase_if(seen_, [&](const auto& item) { return !present.contains(item.first); });
  std::erase_if(being_written_, [&](const auto& item) { return !present.contains(item.first); });
  std::erase_if(unreadable_, [&](const auto& item) { return !present.contains(item.first); });
}

void StillArrivals::StopWaitingForWriters() {
  for (auto& [name, still] : being_written_) Enqueue(std::move(still));
  being_written_.clear();
}

const ArrivedStill* StillArrivals::OldestBeingWritten() const {
  const ArrivedStill* oldest = nullptr;
  for (const auto& [name, still] : being_written_) {
    if (!oldest || std::tie(still.creation_time_ns, still.path) <
                       std::tie(oldest->creation_time_ns, oldest->path)) {
      oldest = &still;
    }
  }
  return oldest;
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

void StillArrivals::NoteUnreadable(ArrivedStill still, bool never_complete) {
  const auto entry = QueryDirectoryEntry(still.path.parent_path(), still.identity.name);
  if (!entry || !(IdentityOf(*entry) == still.identity)) return;
  std::string name = still.identity.name;
  unreadable_.insert_or_assign(std::move(name),
                               Unreadable{std::move(still), entry->size, never_complete});
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
  for (const auto& [name, still] : being_written_) pending.push_back(&still);
  return pending;
}

void StillArrivals::Enqueue(ArrivedStill still) {
  ++arrivals_;
  waiting_.insert(std::upper_bound(waiting_.begin(), waiting_.end(), still, Older),
                  std::move(still));
}

}  // namespace velmarin
