#pragma once

#include <chrono>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace velmarin {

// What happened in a watched folder, as the file system reports it.
struct FolderEvent {
  enum class Kind {
    kCreated,           // an entry was made (a file is then usually still being written)
    kClosedAfterWrite,  // a writer closed the file
    kMovedIn,           // an entry was renamed or moved into the folder, whole
    kRemoved,           // an entry was deleted or moved out
    kOverflow,          // events were lost: only a listing tells what is there now
    kFolderGone,        // the folder was deleted, moved or unmounted: the watch has ended
  };
  Kind kind;
  std::string name;  // the entry, for the first four kinds
};

// Change notifications for one folder. Without a watch (none asked for, or none could be had)
// Wait only waits, so its caller lists the folder instead.
class FolderEvents {
 public:
  virtual ~FolderEvents() = default;

  // Watches `folder` instead of whatever was watched before. False when its file system does
  // not report every change (a network file system, where other machines write unseen) or
  // no watch can be had; then nothing is watched.
  virtual bool Watch(const std::filesystem::path& folder) = 0;
  // Waits until there are events, `timeout` has passed or `stop` is requested, and returns
  // the events in the order they happened (none after a timeout or a stop).
  virtual std::vector<FolderEvent> Wait(std::stop_token stop,
                                        std::chrono::milliseconds timeout) = 0;
};

}  // namespace velmarin
