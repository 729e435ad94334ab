#include "switch/switch_timing.h"

#include <algorithm>
#include <optional>

#include "base/scanf_reader.h"

namespace velmarin {
namespace {

std::chrono::milliseconds InRangeOr(std::optional<int> value, int fallback) {
  const bool usable = value && *value >= 1 && *value <= kMaxSwitchPauseMs;
  return std::chrono::milliseconds(usable ? *value : fallback);
}

}  // namespace

SwitchTiming ParseSwitchTiming(const Settings& settings) {
  const int delay = ScanDecimal(settings[SettingSlot::EventDelayMs].view()).value_or(0);
  return SwitchTiming{
      InRangeOr(ScanDecimal(settings[SettingSlot::PollIntervalMs].view()), kDefaultPollIntervalMs),
      std::chrono::milliseconds(std::clamp(delay, 0, kMaxSwitchPauseMs)),
      InRangeOr(ScanDecimal(settings[SettingSlot::RestAfterEventMs].view()),
                kDefaultRestAfterEventMs),
  };
}

}  // namespace velmarin
