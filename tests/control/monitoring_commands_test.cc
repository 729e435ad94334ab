#include "control/monitoring_commands.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/encoding.h"

namespace velmarin {
namespace {

std::string Utf8(const std::string& cp932) { return Cp932ToUtf8(cp932).value_or("?"); }

TEST(MonitoringStatusText, NamesTheDeviceAndItsState) {
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kError, "COM3")), "COM3スイッチエラー 監視中");
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kNone, "NONE")), "スイッチ未接続 監視中");
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kUsbIo, "USB-IO")), "USB-IO 監視中");
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kSerial, "COM1")), "COM1 監視中");
  // An error wins over the "NONE" test, as the device named could not be opened.
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kError, "NONE?")), "NONE?スイッチエラー 監視中");
  EXPECT_EQ(Utf8(PausedStatusText()), "監視休止中");
  EXPECT_EQ(Utf8(EnterIdStatusText()), "IDを入力して下さい");
}

struct CommandsFixture : ::testing::Test {
  SharedState state{ProgramDir{"/tmp", "/tmp"}};
  std::atomic<int> folder_runs{0};
  MonitoringController controller{state, [](std::stop_token) {},
                                  [this](std::stop_token) { ++folder_runs; }};
};

TEST_F(CommandsFixture, StartTakesTheIdAndResetsTheRun) {
  state.SetSlot(SettingSlot::SwitchDevice, "NONE");
  state.image_count = 7;
  state.last_error.Set("jpg_file_open_error! ");
  const std::string status = StartMonitoringWithId(state, controller, "");
  EXPECT_EQ(state.CaptureId(), "0");
  EXPECT_EQ(state.image_count, 0);
  EXPECT_EQ(state.last_error.Get(), "");
  EXPECT_TRUE(state.monitoring_active);
  EXPECT_EQ(Utf8(status), "スイッチ未接続 監視中");

  // A second start while running changes the ID but starts no further threads.
  StartMonitoringWithId(state, controller, "123456");
  EXPECT_EQ(state.CaptureId(), "123456");
  controller.StopAndJoin();
  EXPECT_LE(folder_runs, 1);
}

TEST_F(CommandsFixture, StopPausesMonitoring) {
  StartMonitoringWithId(state, controller, "1");
  EXPECT_EQ(Utf8(StopMonitoring(controller)), "監視休止中");
  EXPECT_FALSE(state.monitoring_active);
  EXPECT_EQ(state.CaptureId(), "1");
}

}  // namespace
}  // namespace velmarin
