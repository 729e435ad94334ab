#include "switch/switch_timing.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace velmarin {
namespace {

bool IsScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::chrono::milliseconds InRangeOr(std::optional<int> value, int fallback) {
  const bool usable = value && *value >= 1 && *value <= kMaxSwitchPauseMs;
  return std::chrono::milliseconds(usable ? *value : fallback);
}

}  // namespace

std::optional<int> ScanDecimalInt(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsScanfSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[pos] - '0'),
                                       static_cast<std::int64_t>(INT_MAX) + 1);
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

SwitchTiming ParseSwitchTiming(const Settings& settings) {
  const int delay = ScanDecimalInt(settings[SettingSlot::EventDelayMs]).value_or(0);
  return SwitchTiming{
      InRangeOr(ScanDecimalInt(settings[SettingSlot::PollIntervalMs]), kDefaultPollIntervalMs),
      std::chrono::milliseconds(std::clamp(delay, 0, kMaxSwitchPauseMs)),
      InRangeOr(ScanDecimalInt(settings[SettingSlot::RestAfterEventMs]), kDefaultRestAfterEventMs),
  };
}

}  // namespace velmarin
