#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stop_token>
#include <vector>

#include "platform/folder_events.h"

namespace velmarin::test {

// FolderEvents whose events the test gives, and whose waits hold the thread: a wait with a
// timeout stops until the test releases it, so a test decides exactly what each look sees.
// A wait without a timeout (the thread has work waiting) only hands over the events.
class SteppedFolderEvents : public FolderEvents {
 public:
  bool Watch(const std::filesystem::path& folder) override;
  std::vector<FolderEvent> Wait(std::stop_token stop, std::chrono::milliseconds timeout) override;

  // Whether a watch can be had (set before the thread starts); without one, events are dropped.
  void SetWatchable(bool watchable);
  // Delivered at the next wait, when a folder is watched.
  void Push(FolderEvent event);
  // Waits until the thread has come to `count` holding waits in all (false after a limit).
  bool WaitForWaits(int count);
  // Lets the thread leave its current holding wait.
  void Release();
  std::vector<std::chrono::milliseconds> timeouts() const;
  std::vector<std::filesystem::path> watched() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  bool watchable_ = true;
  bool watching_ = false;
  std::vector<FolderEvent> queued_;
  int arrived_ = 0;
  int released_ = 0;
  std::vector<std::chrono::milliseconds> timeouts_;
  std::vector<std::filesystem::path> watched_;
};

}  // namespace velmarin::test
