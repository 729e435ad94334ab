#include "control/monitoring_commands.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/encoding.h"

namespace velmarin {
namespace {

std::string Utf8(const std::string& cp932) { return Cp932ToUtf8(Cp932Text(cp932)).value_or("?"); }

TEST(MonitoringStatusText, NamesTheDeviceAndItsState) {
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kError, Cp932Text("COM3")).bytes()),
            "COM3スイッチエラー 監視中");
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kNone, Cp932Text("NONE")).bytes()),
            "スイッチ未接続 監視中");
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kUsbIo, Cp932Text("USB-IO")).bytes()),
            "USB-IO 監視中");
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kSerial, Cp932Text("COM1")).bytes()),
            "COM1 監視中");
  // An error wins over the "NONE" test, as the device named could not be opened.
  EXPECT_EQ(Utf8(MonitoringStatusText(SwitchKind::kError, Cp932Text("NONE?")).bytes()),
            "NONE?スイッチエラー 監視中");
  EXPECT_EQ(Utf8(PausedStatusText().bytes()), "監視休止中");
  EXPECT_EQ(Utf8(EnterIdStatusText().bytes()), "IDを入力して下さい");
}

struct CommandsFixture : ::testing::Test {
  SharedState state{ProgramDir{"/tmp", Cp932Text("/tmp")}};
  std::atomic<int> folder_runs{0};
  MonitoringController controller{state, [](std::stop_token) {},
                                  [this](std::stop_token) { ++folder_runs; }};
};

TEST_F(CommandsFixture, StartTakesTheIdAndResetsTheRun) {
  state.SetSlot(SettingSlot::SwitchDevice, Cp932Text("NONE"));
  state.image_count = 7;
  state.last_error.Set(Cp932Text("jpg_file_open_error! "));
  const Cp932Text status = StartMonitoringWithId(state, controller, Cp932Text(""));
  EXPECT_EQ(state.CaptureId(), "0");
  EXPECT_EQ(state.image_count, 0);
  EXPECT_EQ(state.last_error.Get(), "");
  EXPECT_TRUE(state.monitoring_active);
  EXPECT_EQ(Utf8(status.bytes()), "スイッチ未接続 監視中");

  // A second start while running changes the ID but starts no further threads.
  StartMonitoringWithId(state, controller, Cp932Text("123456"));
  EXPECT_EQ(state.CaptureId(), "123456");
  controller.StopAndJoin();
  EXPECT_LE(folder_runs, 1);
}

TEST_F(CommandsFixture, StopPausesMonitoring) {
  StartMonitoringWithId(state, controller, Cp932Text("1"));
  EXPECT_EQ(Utf8(StopMonitoring(controller).bytes()), "監視休止中");
  EXPECT_FALSE(state.monitoring_active);
  EXPECT_EQ(state.CaptureId(), "1");
}

}  // namespace
}  // namespace velmarin
