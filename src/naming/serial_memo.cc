#include "naming/serial_memo.h"

#include <algorithm>

namespace velmarin {

SerialMemo& SerialMemo::OfProcess() {
  static SerialMemo memo;
  return memo;
}

void SerialMemo::SetMargins(const FolderTimeMargins& margins) {
  const std::lock_guard lock(mutex_);
  margins_ = margins;
}

std::optional<int> SerialMemo::StartOf(const std::string& key, const FolderStamp& stamp,
                                       Clock::time_point now) {
  const std::lock_guard lock(mutex_);
  const auto found = entries_.find(key);
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
  if (!entries_.contains(key) && entries_.size() >= kKept) {
    entries_.erase(std::ranges::min_element(
        entries_, {}, [](const auto& entry) { return entry.second.listed_at; }));
  }
  entries_[key] = Entry{stamp, chosen, now};
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
}

}  // namespace velmarin
