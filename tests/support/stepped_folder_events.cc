#include "support/stepped_folder_events.h"

#include <utility>

namespace velmarin::test {

bool SteppedFolderEvents::Watch(const std::filesystem::path& folder) {
  std::lock_guard lock(mutex_);
  watched_.push_back(folder);
  watching_ = watchable_;
  queued_.clear();
  return watching_;
}

std::vector<FolderEvent> SteppedFolderEvents::Wait(std::stop_token stop,
                                                   std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (timeout.count() > 0) {
    const int ticket = ++arrived_;
    timeouts_.push_back(timeout);
    changed_.notify_all();
    if (!changed_.wait(lock, stop, [&] { return released_ >= ticket; })) {
      released_ = ticket;  // ended by the stop: the next thread's wait is held again
      return {};
    }
  }
  if (!watching_) queued_.clear();
  return std::exchange(queued_, {});
}

void SteppedFolderEvents::SetWatchable(bool watchable) {
  std::lock_guard lock(mutex_);
  watchable_ = watchable;
}

void SteppedFolderEvents::Push(FolderEvent event) {
  std::lock_guard lock(mutex_);
  queued_.push_back(std::move(event));
}

bool SteppedFolderEvents::WaitForWaits(int count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return arrived_ >= count; });
}

void SteppedFolderEvents::Release() {
  std::lock_guard lock(mutex_);
  ++released_;
  changed_.notify_all();
}

std::vector<std::chrono::milliseconds> SteppedFolderEvents::timeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

std::vector<std::filesystem::path> SteppedFolderEvents::watched() const {
  std::lock_guard lock(mutex_);
  return watched_;
}

}  // namespace velmarin::test
