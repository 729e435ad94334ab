#include "platform/termios_serial.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <cstdlib>

#include "base/unique_fd.h"

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

// Ports on a pseudo-terminal, which stands in for a serial port.
class TermiosSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (master_.valid() && ::grantpt(master_.get()) == 0 && ::unlockpt(master_.get()) == 0) {
      if (const char* name = ::ptsname(master_.get())) path_ = name;
    }
    if (path_.empty()) GTEST_SKIP() << "no pseudo-terminal available";
  }

  UniqueFd master_{::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)};
  std::string path_;
  TermiosSerialOpener opener_;
};

TEST_F(TermiosSerialPortTest, PortIsHeldExclusivelyWhileOpen) {
  auto port = opener_.Open(path_);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(opener_.Open(path_), nullptr);
  port.reset();
  EXPECT_NE(opener_.Open(path_), nullptr);
}

TEST_F(TermiosSerialPortTest, PortHeldByAnotherProgramIsRefused) {
  UniqueFd other(::open(path_.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  ASSERT_TRUE(other.valid());
  ASSERT_EQ(::flock(other.get(), LOCK_EX | LOCK_NB), 0);

  EXPECT_EQ(opener_.Open(path_), nullptr);
  other.Close();
  EXPECT_NE(opener_.Open(path_), nullptr);
}

TEST(TermiosSerialTest, MissingPortsAndNonTerminalsAreRefused) {
  TermiosSerialOpener opener;
  EXPECT_EQ(opener.Open("/dev/velmarin-no-such-port"), nullptr);
  EXPECT_EQ(opener.Open("/dev/null"), nullptr);
  EXPECT_EQ(opener.Open("LPT1"), nullptr);
}

TEST_F(TermiosSerialPortTest, ModemStatusReadsWhereTheDriverReportsIt) {
  auto port = opener_.Open(path_);
  ASSERT_NE(port, nullptr);
  std::uint32_t status = 0xFFFFFFFF;
  if (!port->ReadModemStatus(&status)) {
    GTEST_SKIP() << "this pseudo-terminal driver has no modem lines";
  }
  EXPECT_EQ(status & ~(kModemCts | kModemDsr | kModemRing | kModemRlsd), 0u);
}

}  // namespace
}  // namespace velmarin
