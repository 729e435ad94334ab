#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "base/cp932_text.h"

namespace velmarin {

// What other programs may read of a running station, in UTF-8 as the session bus carries it.
struct StationStatus {
  std::string id;           // CaptureId
  bool monitoring = false;  // MonitoringActive
  std::int32_t image_count = 0;
  std::uint32_t waiting = 0;  // stills waiting behind a failure on the writing side
  std::string last_error;     // LastErrorText as the title shows it, empty when none
  std::string program_folder;
  std::string last_source;  // the still last transferred, empty before the first
  std::string last_target;  // the name it got
  friend bool operator==(const StationStatus&, const StationStatus&) = default;
};

// Told what happens at a running station (the session bus interface). Every call returns at
// once: the folder thread and the user-interface thread never wait on a listener.
class StationEvents {
 public:
  virtual ~StationEvents() = default;
  // Folder thread.
  virtual void StillTransferred(const std::filesystem::path& source,
                                const std::filesystem::path& target, const Cp932Text& id) = 0;
  virtual void StillFailed(const std::filesystem::path& source, const Cp932Text& text) = 0;
  virtual void WaitingChanged(std::uint32_t waiting) = 0;
  // The thread that owns the station, at its tick, when the status differs from the last one.
  virtual void StatusChanged(const StationStatus& status) = 0;
};

}  // namespace velmarin
