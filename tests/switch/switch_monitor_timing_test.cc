#include <gtest/gtest.h>

#include "switch/switch_timing.h"

namespace velmarin {
namespace {

using std::chrono::milliseconds;

SwitchTiming TimingOf(std::string poll, std::string delay, std::string rest) {
  Settings settings;
  settings[SettingSlot::PollIntervalMs] = Cp932Text(std::move(poll));
  settings[SettingSlot::EventDelayMs] = Cp932Text(std::move(delay));
  settings[SettingSlot::RestAfterEventMs] = Cp932Text(std::move(rest));
  return ParseSwitchTiming(settings);
}

TEST(SwitchMonitorTimingTest, PollAndRestOutsideTheirRangeFallBack) {
  EXPECT_EQ(TimingOf("0", "0", "0").poll_interval, milliseconds(50));
  EXPECT_EQ(TimingOf("10001", "0", "1").poll_interval, milliseconds(50));
  EXPECT_EQ(TimingOf("abc", "0", "1").poll_interval, milliseconds(50));
  EXPECT_EQ(TimingOf("10000", "0", "1").poll_interval, milliseconds(10000));
  EXPECT_EQ(TimingOf("1", "0", "1").poll_interval, milliseconds(1));
  EXPECT_EQ(TimingOf("20", "0", "0").rest_after_event, milliseconds(500));
  EXPECT_EQ(TimingOf("20", "0", "-3").rest_after_event, milliseconds(500));
  EXPECT_EQ(TimingOf("20", "0", "10000").rest_after_event, milliseconds(10000));
  EXPECT_EQ(TimingOf("20", "0", "1x").rest_after_event, milliseconds(1));
}

TEST(SwitchMonitorTimingTest, EventDelayIsHeldToTenSeconds) {
  EXPECT_EQ(TimingOf("1", "300", "1").event_delay, milliseconds(300));
  EXPECT_EQ(TimingOf("1", "0", "1").event_delay, milliseconds(0));
  EXPECT_EQ(TimingOf("1", "-5", "1").event_delay, milliseconds(0));
  EXPECT_EQ(TimingOf("1", "soon", "1").event_delay, milliseconds(0));
  EXPECT_EQ(TimingOf("1", "99999999", "1").event_delay, milliseconds(10000));
}

}  // namespace
}  // namespace velmarin
