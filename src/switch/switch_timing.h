#pragma once

#include <chrono>

#include "settings/settings.h"

namespace velmarin {

// The switch thread's pauses, read from the settings when the thread starts.
struct SwitchTiming {
  std::chrono::milliseconds poll_interval;
  std::chrono::milliseconds event_delay;
  std::chrono::milliseconds rest_after_event;
};

inline constexpr int kMaxSwitchPauseMs = 10000;
inline constexpr int kDefaultPollIntervalMs = 50;
inline constexpr int kDefaultRestAfterEventMs = 500;

// PollIntervalMs and RestAfterEventMs outside 1..10000 (or not a number) become 50 and 500.
// EventDelayMs is held to 0..10000 (not a number: 0), so a typo cannot stall the thread.
SwitchTiming ParseSwitchTiming(const Settings& settings);

}  // namespace velmarin
