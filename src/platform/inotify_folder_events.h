#pragma once

#include "base/unique_fd.h"
#include "platform/folder_events.h"

namespace velmarin {

// FolderEvents through inotify. A wait sleeps in poll() on the inotify descriptor and an
// eventfd that a stop request writes, so an idle watch costs nothing.
class InotifyFolderEvents : public FolderEvents {
 public:
  InotifyFolderEvents();

  bool Watch(const std::filesystem::path& folder) override;
  std::vector<FolderEvent> Wait(std::stop_token stop, std::chrono::milliseconds timeout) override;

 private:
  std::vector<FolderEvent> ReadEvents();

  UniqueFd inotify_;
  UniqueFd wake_;  // written when a stop is requested during a wait
  int watch_ = -1;
};

// Whether the file system of `folder` reports every change to inotify: false for network
// and user-space file systems, whose changes made elsewhere are never reported.
bool ReportsEveryChange(const std::filesystem::path& folder);
// The same of a folder held open.
bool ReportsEveryChange(int open_folder);

}  // namespace velmarin
