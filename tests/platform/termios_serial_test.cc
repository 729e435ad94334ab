#include "platform/termios_serial.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace velmarin {
namespace {

TEST(TermiosSerialTest, ComNamesMapToTheOnBoardPorts) {
  EXPECT_EQ(SerialDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialDevicePath("COM9"), "/dev/ttyS8");
  EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDevicePath("COM0"), std::nullopt);
  EXPECT_EQ(SerialDevicePath("COM10"), std::nullopt);
  EXPECT_EQ(SerialDevicePath("XCOM1"), std::nullopt);
  EXPECT_EQ(SerialDevicePath("USB-IO"), std::nullopt);
}

TEST(TermiosSerialTest, SwitchNamesWithComOrADevicePathAreSerial) {
  EXPECT_TRUE(IsSerialSwitchName("COM3"));
  EXPECT_TRUE(IsSerialSwitchName("myCOMport"));
  EXPECT_TRUE(IsSerialSwitchName("/dev/ttyACM0"));
  EXPECT_FALSE(IsSerialSwitchName("USB-IO"));
  EXPECT_FALSE(IsSerialSwitchName("dev/ttyS0"));
}

// A pseudo-terminal stands in for a serial port.
class PseudoTerminal {
 public:
  PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      const char* name = ::ptsname(master_);
      if (name != nullptr) path_ = name;
    }
  }
  ~PseudoTerminal() {
    if (master_ >= 0) ::close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  const std::string& path() const { return path_; }

 private:
  int master_;
  std::string path_;
};

TEST(TermiosSerialTest, PortIsHeldExclusivelyWhileOpen) {
  PseudoTerminal terminal;
  if (terminal.path().empty()) GTEST_SKIP() << "no pseudo-terminal available";
  TermiosSerialOpener opener;

  auto port = opener.Open(terminal.path());
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(opener.Open(terminal.path()), nullptr);
  port.reset();
  EXPECT_NE(opener.Open(terminal.path()), nullptr);
}

TEST(TermiosSerialTest, PortHeldByAnotherProgramIsRefused) {
  PseudoTerminal terminal;
  if (terminal.path().empty()) GTEST_SKIP() << "no pseudo-terminal available";
  const int other = ::open(terminal.path().c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);

  TermiosSerialOpener opener;
  EXPECT_EQ(opener.Open(terminal.path()), nullptr);
  ::close(other);
  EXPECT_NE(opener.Open(terminal.path()), nullptr);
}

TEST(TermiosSerialTest, MissingPortsAndNonTerminalsAreRefused) {
  TermiosSerialOpener opener;
  EXPECT_EQ(opener.Open("/dev/velmarin-no-such-port"), nullptr);
  EXPECT_EQ(opener.Open("/dev/null"), nullptr);
  EXPECT_EQ(opener.Open("LPT1"), nullptr);
}

TEST(TermiosSerialTest, ModemStatusReadsWhereTheDriverReportsIt) {
  PseudoTerminal terminal;
  if (terminal.path().empty()) GTEST_SKIP() << "no pseudo-terminal available";
  TermiosSerialOpener opener;
  auto port = opener.Open(terminal.path());
  ASSERT_NE(port, nullptr);
  std::uint32_t status = 0xFFFFFFFF;
  if (!port->ReadModemStatus(&status)) {
    GTEST_SKIP() << "this pseudo-terminal driver has no modem lines";
  }
  EXPECT_EQ(status & ~(kModemCts | kModemDsr | kModemRing | kModemRlsd), 0u);
}

}  // namespace
}  // namespace velmarin
