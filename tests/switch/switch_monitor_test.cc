#include "switch/switch_monitor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <thread>

#include "support/program_process.h"
#include "support/recorded_messages.h"
#include "support/scripted_serial_port.h"
#include "support/simulated_usb_io_board.h"

namespace velmarin {
namespace {

// Waits for the switch thread to reach a state; the limit only keeps a broken build from
// hanging the test run.
bool Eventually(const std::function<bool()>& condition) {
  return test::WaitFor(condition, std::chrono::seconds(20));
}

class SwitchMonitorTest : public ::testing::Test {
 protected:
  SwitchMonitorTest() {
    settings_[SettingSlot::TriggerEdge] = Cp932Text("ON");
    settings_[SettingSlot::PollIntervalMs] = Cp932Text("1");
    settings_[SettingSlot::EventDelayMs] = Cp932Text("0");
    settings_[SettingSlot::RestAfterEventMs] = Cp932Text("1");
  }

  void OpenUsbIo() {
    board_ = hid_.AddBoard("/dev/hidraw0");
    settings_[SettingSlot::SwitchDevice] = Cp932Text("USB-IO");
    devices_.OpenSwitchDevice(settings_);
    ASSERT_EQ(kind_, SwitchKind::kUsbIo);
  }

  void OpenSerial() {
    lines_ = serial_.AddPort("COM1");
    settings_[SettingSlot::SwitchDevice] = Cp932Text("COM1");
    devices_.OpenSwitchDevice(settings_);
    ASSERT_EQ(kind_, SwitchKind::kSerial);
  }

  void Start() {
    thread_ = std::jthread([this](std::stop_token stop) {
      RunSwitchMonitor(stop, settings_, kind_, devices_, progress_, [this] { ++fired_; });
      finished_ = true;
    });
  }

  void StopAndJoin() {
    thread_.request_stop();
    thread_.join();
    finished_ = false;
  }

  // Runs the thread until `condition` holds, then `more_polls` polls longer, and stops it.
  bool RunUntil(const std::function<bool()>& condition, int more_polls = 0) {
    Start();
    const bool reached = Eventually(condition) && PollsMore(more_polls);
    StopAndJoin();
    return reached;
  }

  // Waits until the thread has polled `polls` more times.
  bool PollsMore(int polls) {
    const int target = progress_.poll_count.load() + polls;
    return Eventually([&] { return progress_.poll_count.load() >= target; });
  }

  test::SimulatedHidTransport hid_;
  test::ScriptedSerialOpener serial_;
  test::RecordedMessages messages_;
  std::atomic<SwitchKind> kind_{SwitchKind::kNone};
  SwitchDevices devices_{hid_, serial_, messages_, kind_};
  std::shared_ptr<test::SimulatedUsbIoBoard> board_;
  std::shared_ptr<test::ScriptedModemLines> lines_;
  Settings settings_;
  SwitchProgress progress_;
  std::atomic<int> fired_{0};
  std::atomic<bool> finished_{false};
  std::jthread thread_;
};

TEST_F(SwitchMonitorTest, WithoutUsableDeviceReturnsAfterTheStartPauseWithoutPolling) {
  for (const SwitchKind kind : {SwitchKind::kNone, SwitchKind::kError}) {
    kind_ = kind;
    RunSwitchMonitor(std::stop_token(), settings_, kind_, devices_, progress_, [&] { ++fired_; });
    EXPECT_EQ(progress_.poll_count.load(), 0);
    EXPECT_EQ(fired_.load(), 0);
  }
}

TEST_F(SwitchMonitorTest, StopDuringTheStartPauseEndsAtOnce) {
  OpenUsbIo();
  std::stop_source stop;
  stop.request_stop();
  RunSwitchMonitor(stop.get_token(), settings_, kind_, devices_, progress_, [&] { ++fired_; });
  EXPECT_EQ(progress_.poll_count.load(), 0);
  EXPECT_EQ(board_->OutputReports().size(), 1u);  // only the opening write
}

TEST_F(SwitchMonitorTest, OnEdgeFiresOnTheFirstPollAfterStart) {
  OpenUsbIo();
  board_->SetPins(0x01);
  ASSERT_TRUE(RunUntil([&] { return fired_.load() == 1; }, /*more_polls=*/3));
  EXPECT_EQ(fired_.load(), 1);
  EXPECT_EQ(progress_.last_usb_sample.load(), 1);
}

TEST_F(SwitchMonitorTest, OnlyPinZeroCounts) {
  OpenUsbIo();
  board_->QueuePins({0xFE, 0x02});
  board_->SetPins(0x03);
  ASSERT_TRUE(RunUntil([&] { return fired_.load() == 1; }));
  EXPECT_GE(progress_.poll_count.load(), 3);
}

TEST_F(SwitchMonitorTest, OffEdgeIsGuardedForTheFirstFivePollsOnlyAcrossRestarts) {
  settings_[SettingSlot::TriggerEdge] = Cp932Text("OFF");
  OpenUsbIo();
  board_->QueuePins({0x01, 0x00});  // up and down again within the first five polls
  ASSERT_TRUE(RunUntil([&] { return progress_.poll_count.load() > 5; }));
  EXPECT_EQ(fired_.load(), 0);
  EXPECT_EQ(progress_.last_usb_sample.load(), 0);

  // A new run carries on counting: the guard does not come back.
  board_->QueuePins({0x01, 0x00});
  ASSERT_TRUE(RunUntil([&] { return fired_.load() == 1; }, /*more_polls=*/3));
  EXPECT_EQ(fired_.load(), 1);
}

TEST_F(SwitchMonitorTest, EdgeNamingBothWordsFiresOnBothChanges) {
  settings_[SettingSlot::TriggerEdge] = Cp932Text("ON/OFF");
  OpenUsbIo();
  progress_.poll_count = 100;
  board_->QueuePins({0x01, 0x00, 0x01, 0x00});
  ASSERT_TRUE(RunUntil([&] { return fired_.load() == 4; }));
}

TEST_F(SwitchMonitorTest, EdgeNamingNeitherWordNeverFiresButFollowsTheLevel) {
  settings_[SettingSlot::TriggerEdge] = Cp932Text("RISING");
  OpenUsbIo();
  progress_.poll_count = 100;
  board_->SetPins(0x01);
  ASSERT_TRUE(RunUntil([&] { return progress_.last_usb_sample.load() == 1; }));
  EXPECT_EQ(fired_.load(), 0);
}

TEST_F(SwitchMonitorTest, FailedReadsAreNoChange) {
  OpenUsbIo();
  board_->SetPins(0x01);
  board_->SetReadsFail(true);
  Start();
  ASSERT_TRUE(PollsMore(10));
  EXPECT_EQ(fired_.load(), 0);
  EXPECT_EQ(progress_.last_usb_sample.load(), 0);
  board_->SetReadsFail(false);
  ASSERT_TRUE(Eventually([&] { return fired_.load() == 1; }));
  StopAndJoin();
}

TEST_F(SwitchMonitorTest, PollCountStopsAtItsMaximumAndOffStillFires) {
  settings_[SettingSlot::TriggerEdge] = Cp932Text("OFF");
  OpenUsbIo();
  progress_.poll_count = std::numeric_limits<std::int32_t>::max() - 1;
  progress_.last_usb_sample = 1;
  board_->QueuePins({0x01, 0x01, 0x01});
  board_->SetPins(0x00);
  ASSERT_TRUE(RunUntil([&] { return fired_.load() == 1; }));
  EXPECT_EQ(progress_.poll_count.load(), std::numeric_limits<std::int32_t>::max());
}

// A stop ends the event delay (the press is dropped: monitoring has ended) and the rest after
// an event at once; both may be ten seconds long, which a shutdown must not wait for.
TEST_F(SwitchMonitorTest, StopEndsTheEventDelayAndTheRestAtOnce) {
  OpenSerial();
  for (const bool in_delay : {true, false}) {
    SCOPED_TRACE(in_delay);
    settings_[SettingSlot::EventDelayMs] = in_delay ? Cp932Text("10000") : Cp932Text("0");
    settings_[SettingSlot::RestAfterEventMs] = in_delay ? Cp932Text("1") : Cp932Text("10000");
    fired_ = 0;
    progress_.poll_count = 100;
    const int reads = lines_->status_reads();
    lines_->SetStatus(in_delay ? kModemDsr : kModemDsr | kModemCts);
    Start();
    // The change is seen on the first poll; the stop arrives while the wait runs.
    ASSERT_TRUE(Eventually([&] { return lines_->status_reads() > reads; }));
    if (!in_delay) {
      ASSERT_TRUE(Eventually([&] { return fired_.load() == 1; }));
    }
    const auto stopped_at = std::chrono::steady_clock::now();
    StopAndJoin();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, std::chrono::seconds(9));
    EXPECT_EQ(fired_.load(), in_delay ? 0 : 1);
  }
}

TEST_F(SwitchMonitorTest, EndsByItselfWhenTheSwitchKindDrops) {
  OpenUsbIo();
  Start();
  ASSERT_TRUE(PollsMore(2));
  kind_ = SwitchKind::kNone;
  const bool ended = Eventually([&] { return finished_.load(); });
  StopAndJoin();
  EXPECT_TRUE(ended);
}

TEST_F(SwitchMonitorTest, SerialDsrDecidesWhenItChangesWithCts) {
  OpenSerial();
  progress_.poll_count = 100;
  // CTS falls as DSR rises: level 1, so an ON event (CTS alone would say 0).
  progress_.last_modem_status = kModemCts;
  lines_->SetStatus(kModemDsr);
  ASSERT_TRUE(RunUntil([&] { return progress_.last_modem_status.load() == kModemDsr; }));
  EXPECT_EQ(fired_.load(), 1);

  // DSR falls as CTS rises: level 0, so an OFF event (CTS alone would say 1).
  settings_[SettingSlot::TriggerEdge] = Cp932Text("OFF");
  lines_->SetStatus(kModemCts);
  ASSERT_TRUE(RunUntil([&] { return progress_.last_modem_status.load() == kModemCts; }));
  EXPECT_EQ(fired_.load(), 2);
}

TEST_F(SwitchMonitorTest, SerialRingAloneIsJudgedByCts) {
  OpenSerial();
  progress_.poll_count = 100;
  progress_.last_modem_status = kModemCts;
  lines_->SetStatus(kModemCts | kModemRing);
  ASSERT_TRUE(RunUntil([&] { return fired_.load() == 1; }, /*more_polls=*/3));
  EXPECT_EQ(fired_.load(), 1);

  // The same change with CTS low is a change to level 0: no ON event.
  settings_[SettingSlot::TriggerEdge] = Cp932Text("ON");
  progress_.last_modem_status = 0;
  lines_->SetStatus(kModemRlsd);
  ASSERT_TRUE(RunUntil([&] { return progress_.last_modem_status.load() == kModemRlsd; }));
  EXPECT_EQ(fired_.load(), 1);
}

TEST_F(SwitchMonitorTest, SerialFailedReadsAreNoChange) {
  OpenSerial();
  lines_->SetStatus(kModemDsr);
  lines_->SetReadsFail(true);
  Start();
  ASSERT_TRUE(Eventually([&] { return lines_->status_reads() >= 5; }));
  EXPECT_EQ(fired_.load(), 0);
  lines_->SetReadsFail(false);
  ASSERT_TRUE(Eventually([&] { return fired_.load() == 1; }));
  StopAndJoin();
}

}  // namespace
}  // namespace velmarin
