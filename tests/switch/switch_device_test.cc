#include "switch/switch_device.h"

#include <gtest/gtest.h>

#include "support/recorded_messages.h"
#include "support/scripted_serial_port.h"
#include "support/simulated_usb_io_board.h"
#include "switch/lost_device_retry.h"

namespace velmarin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;

TEST(SwitchNameTest, NamesWithComOrADevicePathAreSerial) {
  EXPECT_TRUE(IsSerialSwitchName("COM3"));
  EXPECT_TRUE(IsSerialSwitchName("myCOMport"));
  EXPECT_TRUE(IsSerialSwitchName("/dev/ttyACM0"));
  EXPECT_FALSE(IsSerialSwitchName("USB-IO"));
  EXPECT_FALSE(IsSerialSwitchName("dev/ttyS0"));
}

class SwitchDeviceTest : public ::testing::Test {
 protected:
  void Open(const std::string& device_name) {
    Settings settings;
    settings[SettingSlot::SwitchDevice] = Cp932Text(device_name);
    devices_.OpenSwitchDevice(settings);
  }

  test::SimulatedHidTransport hid_;
  test::ScriptedSerialOpener serial_;
  test::RecordedMessages messages_;
  std::atomic<SwitchKind> kind_{static_cast<SwitchKind>(99)};
  SwitchDevices devices_{hid_, serial_, messages_, kind_};
};

TEST_F(SwitchDeviceTest, NoneOpensNothingAndLeavesHidUnloaded) {
  hid_.AddBoard("/dev/hidraw0");
  Open("NONE");
  EXPECT_EQ(kind_, SwitchKind::kNone);
  EXPECT_EQ(hid_.init_calls(), 0);
  EXPECT_TRUE(serial_.open_attempts().empty());
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(SwitchDeviceTest, FreeComPortIsOpenedWithDtrAndRtsRaised) {
  const auto lines = serial_.AddPort("COM1");
  Open("COM1");
  EXPECT_EQ(kind_, SwitchKind::kSerial);
  EXPECT_TRUE(lines->dtr_and_rts_raised());
  EXPECT_TRUE(serial_.IsHeld("COM1"));

  lines->SetStatus(kModemDsr | kModemRing);
  std::uint32_t status = 0;
  EXPECT_TRUE(devices_.ReadModemStatus(&status));
  EXPECT_EQ(status, kModemDsr | kModemRing);

  devices_.CloseSerialPort();
  EXPECT_FALSE(serial_.IsHeld("COM1"));
  EXPECT_FALSE(devices_.ReadModemStatus(&status));
}

TEST_F(SwitchDeviceTest, BusyComPortIsReportedAndGivesKindMinusOne) {
  serial_.AddPort("COM2", /*busy=*/true);
  Open("COM2");
  EXPECT_EQ(kind_, SwitchKind::kError);
  EXPECT_EQ(messages_.texts(), Names{"COM2 is not available"});
  EXPECT_FALSE(devices_.SerialPortOpen());
}

TEST_F(SwitchDeviceTest, DeviceWithoutModemLinesIsNotASerialSwitch) {
  serial_.AddPort("/dev/pts/3")->SetNoModemLines();
  Open("/dev/pts/3");
  EXPECT_EQ(kind_, SwitchKind::kError);
  EXPECT_EQ(messages_.texts(), Names{"/dev/pts/3 is not available"});
  EXPECT_FALSE(devices_.SerialPortOpen());
  EXPECT_FALSE(serial_.IsHeld("/dev/pts/3"));
}

TEST_F(SwitchDeviceTest, DevicePathCountsAsASerialName) {
  serial_.AddPort("/dev/ttyUSB0");
  Open("/dev/ttyUSB0");
  EXPECT_EQ(kind_, SwitchKind::kSerial);
  EXPECT_EQ(hid_.init_calls(), 0);

  Open("/dev/ttyUSB9");
  EXPECT_EQ(kind_, SwitchKind::kError);
  EXPECT_EQ(messages_.texts(), Names{"/dev/ttyUSB9 is not available"});
}

TEST_F(SwitchDeviceTest, SerialNameWithNoneOpensNothingAndMeansNoSwitch) {
  serial_.AddPort("COMNONE");
  Open("COMNONE");
  EXPECT_EQ(kind_, SwitchKind::kNone);
  EXPECT_TRUE(serial_.open_attempts().empty());
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(SwitchDeviceTest, OpeningAnotherPortReleasesTheFirst) {
  serial_.AddPort("COM1");
  serial_.AddPort("COM3");
  EXPECT_TRUE(devices_.OpenSerialSwitch("COM1"));
  EXPECT_TRUE(devices_.OpenSerialSwitch("COM3"));
  EXPECT_FALSE(serial_.IsHeld("COM1"));
  EXPECT_TRUE(serial_.IsHeld("COM3"));
}

TEST_F(SwitchDeviceTest, UsbIoWithoutBoardGivesKindMinusOneSilently) {
  Open("USB-IO");
  EXPECT_EQ(kind_, SwitchKind::kError);
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(SwitchDeviceTest, UsbIoWithoutHidShowsTheLoadMessage) {
  hid_.SetInitFails(true);
  Open("USB-IO");
  EXPECT_EQ(kind_, SwitchKind::kError);
  EXPECT_EQ(messages_.texts(), Names{"Error at Load 'hid.dll'"});
}

TEST_F(SwitchDeviceTest, UsbIoWithBoardSetsAllPinsFirstAndGivesKindOne) {
  const auto board = hid_.AddBoard("/dev/hidraw0");
  Open("USB-IO");
  EXPECT_EQ(kind_, SwitchKind::kUsbIo);
  const auto reports = board->OutputReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], (Bytes{0x00, 0x01, 0xFF, 0, 0, 0, 0, 0, 0}));

  int sample = -1;
  board->SetPins(0xFE);
  EXPECT_TRUE(devices_.ReadUsbPin0(&sample));
  EXPECT_EQ(sample, 0);
  board->SetPins(0x03);
  EXPECT_TRUE(devices_.ReadUsbPin0(&sample));
  EXPECT_EQ(sample, 1);
  board->SetReadsFail(true);
  sample = 7;
  EXPECT_FALSE(devices_.ReadUsbPin0(&sample));
  EXPECT_EQ(sample, 7);
}

TEST_F(SwitchDeviceTest, UnknownNameSearchesBoardsButGivesKindMinusOne) {
  const auto board = hid_.AddBoard("/dev/hidraw0");
  Open("FOOTSWITCH");
  EXPECT_EQ(kind_, SwitchKind::kError);
  EXPECT_TRUE(hid_.initialised());
  EXPECT_EQ(hid_.enumerate_calls(), 1);
  EXPECT_EQ(board->OpenHandles(), 1);
  EXPECT_TRUE(board->OutputReports().empty());
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(SwitchDeviceTest, ListOffersThePortsThatOpenThenNoneAndUsbIo) {
  serial_.AddPort("COM1");
  serial_.AddPort("COM2", /*busy=*/true);
  serial_.AddPort("COM3");
  EXPECT_EQ(devices_.ListSwitchDevices(), (Names{"COM1", "COM3", "NONE", "USB-IO"}));
  EXPECT_FALSE(serial_.IsHeld("COM1"));
  EXPECT_FALSE(serial_.IsHeld("COM3"));
}

TEST_F(SwitchDeviceTest, ListOffersUsbAdaptersSortedAfterTheComPorts) {
  serial_.AddPort("COM4");
  serial_.AddPort("/dev/ttyUSB1");
  serial_.AddPort("/dev/ttyACM0");
  serial_.AddPort("/dev/ttyUSB0", /*busy=*/true);
  serial_.SetUsbSerialDeviceNames({"/dev/ttyUSB1", "/dev/ttyUSB0", "/dev/ttyACM0"});
  EXPECT_EQ(devices_.ListSwitchDevices(),
            (Names{"COM4", "/dev/ttyACM0", "/dev/ttyUSB1", "NONE", "USB-IO"}));
}

TEST(SwitchDeviceReplugTest, UnpluggedSerialAdapterIsOpenedAgainByItsName) {
  test::SimulatedHidTransport hid;
  test::ScriptedSerialOpener serial;
  test::RecordedMessages messages;
  std::atomic<SwitchKind> kind{SwitchKind::kNone};
  SwitchDevices::Clock::time_point now{};
  SwitchDevices devices(hid, serial, messages, kind, [&] { return now; });
  serial.AddPort("/dev/ttyUSB0")->SetStatus(kModemCts);
  Settings settings;
  settings[SettingSlot::SwitchDevice] = Cp932Text("/dev/ttyUSB0");
  devices.OpenSwitchDevice(settings);
  ASSERT_EQ(kind, SwitchKind::kSerial);

  serial.Unplug("/dev/ttyUSB0");
  std::uint32_t status = 0;
  for (int i = 0; i < LostDeviceRetry::kFailuresBeforeLoss; ++i) {
    EXPECT_FALSE(devices.ReadModemStatus(&status));
  }
  EXPECT_EQ(messages.texts().size(), 1u);
  EXPECT_FALSE(serial.IsHeld("/dev/ttyUSB0"));
  // Tried at once, then only when the interval is over.
  const auto attempts = serial.open_attempts().size();
  EXPECT_FALSE(devices.ReadModemStatus(&status));
  EXPECT_FALSE(devices.ReadModemStatus(&status));
  EXPECT_EQ(serial.open_attempts().size(), attempts + 1);

  const auto lines = serial.AddPort("/dev/ttyUSB0");
  lines->SetStatus(kModemDsr);
  now += LostDeviceRetry::kFirstInterval;
  EXPECT_TRUE(devices.ReadModemStatus(&status));
  EXPECT_EQ(status, kModemDsr);
  EXPECT_TRUE(lines->dtr_and_rts_raised());
  EXPECT_EQ(messages.texts(),
            (Names{"/dev/ttyUSB0 does not answer (unplugged?); the foot switch does nothing "
                   "until it is back. Opening it again.",
                   "/dev/ttyUSB0 is back; the foot switch works again."}));
}

}  // namespace
}  // namespace velmarin
