#include "naming/serial_memo.h"

#include <algorithm>
#include <functional>

namespace velmarin {
namespace {

bool SameFolderAndNames(const SavedSerialStart& saved, const std::string& key,
                        const FolderStamp& stamp) {
  return saved.key == key && saved.stamp.device == stamp.device && saved.stamp.inode == stamp.inode;
}

}  // namespace

SerialMemo& SerialMemo::OfProcess() {
  static SerialMemo memo({}, SerialMemoFilePath());
  return memo;
}

std::optional<int> SerialMemo::StartOf(const std::string& key, const FolderStamp& stamp,
                                       Clock::time_point now, std::int64_t now_ns) {
  const std::lock_guard lock(mutex_);
  auto found = entries_.find(key);
  if (found == entries_.end()) found = Recall(key, stamp, now, now_ns);
  if (found == entries_.end()) return std::nullopt;
  if (found->second.stamp != stamp || now - found->second.listed_at >= kLife) {
    entries_.erase(found);
    return std::nullopt;
  }
  return found->second.start;
}

void SerialMemo::NoteListing(const std::string& key, const FolderStamp& stamp, int chosen,
                             std::int64_t listed_ns, Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  if (!StampSettledBefore(stamp, listed_ns, margins_)) {
    entries_.erase(key);
    return;
  }
  Save(key, Keep(key, Entry{stamp, chosen, now, listed_ns})->second);
}

void SerialMemo::NoteClaim(const std::string& key, const FolderStamp& searched,
                           const FolderStamp& after, int serial) {
  const std::lock_guard lock(mutex_);
  const auto found = entries_.find(key);
  if (found == entries_.end()) return;
  // Another search or claim noted since, or whole-second times that a later change in the
  // same second would keep: listed again next time.
  if (found->second.stamp != searched || after.modified_ns % 1'000'000'000 == 0 ||
      after.device != searched.device || after.inode != searched.inode) {
    entries_.erase(found);
    return;
  }
  found->second.stamp = after;
  found->second.start = std::max(found->second.start, serial + 1);
  Save(key, found->second);
}

SerialMemo::Entries::iterator SerialMemo::Keep(const std::string& key, const Entry& entry) {
  if (!entries_.contains(key) && entries_.size() >= kKept) {
    entries_.erase(std::ranges::min_element(
        entries_, {}, [](const auto& kept) { return kept.second.listed_at; }));
  }
  return entries_.insert_or_assign(key, entry).first;
}

SerialMemo::Entries::iterator SerialMemo::Recall(const std::string& key, const FolderStamp& stamp,
                                                 Clock::time_point now, std::int64_t now_ns) {
  if (file_.empty()) return entries_.end();
  LoadOnce();
  const auto saved = std::ranges::find_if(saved_, [&](const SavedSerialStart& start) {
    return SameFolderAndNames(start, key, stamp) && start.stamp == stamp;
  });
  if (saved == saved_.end()) return entries_.end();
  // A start from the future is one of a clock set back since: its age is unknown.
  const std::chrono::nanoseconds age(now_ns - saved->listed_ns);
  if (age.count() < 0 || age >= kLife) return entries_.end();
  return Keep(key, Entry{stamp, saved->start,
                         now - std::chrono::duration_cast<Clock::duration>(age), saved->listed_ns});
}

void SerialMemo::Save(const std::string& key, const Entry& entry) {
  if (file_.empty()) return;
  LoadOnce();
  // Starts older than their life by this one's clock are of no use, and the names they keep
  // may carry the IDs of whom the images show.
  const std::int64_t outlived = entry.listed_ns - std::chrono::nanoseconds(kLife).count();
  std::erase_if(saved_, [&](const SavedSerialStart& start) {
    return SameFolderAndNames(start, key, entry.stamp) || start.listed_ns <= outlived;
  });
  saved_.push_back({entry.stamp, key, entry.start, entry.listed_ns});
  std::ranges::stable_sort(saved_, std::greater{}, &SavedSerialStart::listed_ns);
  if (saved_.size() > kKept) saved_.resize(kKept);
  WriteSerialStarts(file_, saved_);
}

void SerialMemo::LoadOnce() {
  if (loaded_) return;
  loaded_ = true;
  saved_ = ReadSerialStarts(file_, kKept);
}

}  // namespace velmarin
