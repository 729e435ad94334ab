#include "switch/usb_io.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/recorded_messages.h"
#include "support/simulated_usb_io_board.h"
#include "switch/lost_device_retry.h"

namespace velmarin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RecordedMessages;
using test::SimulatedHidTransport;
using test::SimulatedUsbIoBoard;

constexpr const char* kNoBoard = "no USB-IO board is there";
constexpr const char* kWriteFailed = "the command report cannot be written";
constexpr const char* kNoAnswer = "no answer report came";
constexpr const char* kOutOfSequence = "no answer carried the command's sequence byte";
constexpr const char* kLost = "the board is lost until it is found again";

// Why a read of port 0 failed; empty when it did not.
std::string ReadFailure(UsbIo& usb_io) {
  std::string error;
  return usb_io.ReadPort(0, false, &error) ? std::string() : error;
}

class UsbIoTest : public ::testing::Test {
 protected:
  SimulatedHidTransport transport_;
  RecordedMessages messages_;
  UsbIo usb_io_{transport_, messages_};
};

TEST_F(UsbIoTest, NoBoardFailsInitAndLeavesTheCountAtZero) {
  transport_.AddBoard("/dev/hidraw0", 0x046D, 0xC077);  // a mouse, not a board

  std::string error;
  EXPECT_FALSE(usb_io_.Init(&error));
  EXPECT_EQ(error, kNoBoard);
  EXPECT_TRUE(transport_.initialised());
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(UsbIoTest, HidUnavailableFailsWithTheLoadMessage) {
  transport_.SetInitFails(true);

  std::string error;
  EXPECT_FALSE(usb_io_.Init(&error));
  EXPECT_EQ(error, "the HID library is not available");
  EXPECT_FALSE(transport_.initialised());
  EXPECT_EQ(messages_.texts(), std::vector<std::string>{"Error at Load 'hid.dll'"});

  // Every access retries the load; the switch thread's retries do not repeat the message.
  EXPECT_EQ(ReadFailure(usb_io_), error);
  EXPECT_EQ(ReadFailure(usb_io_), error);
  EXPECT_EQ(transport_.init_calls(), 3);
  EXPECT_EQ(messages_.texts().size(), 1u);
}

TEST_F(UsbIoTest, TheFirstEnumeratedBoardIsOpened) {
  const auto first = transport_.AddBoard("/dev/hidraw3", 0x1352, 0x0100);
  transport_.AddBoard("/dev/hidraw1", 0x046D, 0xC077);
  const auto second = transport_.AddBoard("/dev/hidraw2", 0x0BFE, 0x1002);
  const auto third = transport_.AddBoard("/dev/hidraw4", 0x12ED, 0x1003);

  EXPECT_TRUE(usb_io_.Init());
  EXPECT_TRUE(usb_io_.WritePort(0, 0x55, false));
  EXPECT_EQ(first->OutputReports().size(), 1u);
  EXPECT_TRUE(second->OutputReports().empty());
  EXPECT_TRUE(third->OutputReports().empty());
  EXPECT_EQ(second->OpenHandles(), 0);
  EXPECT_EQ(third->OpenHandles(), 0);
}

TEST_F(UsbIoTest, BoardsThatCannotBeOpenedArePassedOver) {
  transport_.AddBoard("/dev/hidraw0")->SetOpenFails(true);
  const auto usable = transport_.AddBoard("/dev/hidraw1");

  EXPECT_TRUE(usb_io_.Init());
  EXPECT_EQ(usable->OpenHandles(), 1);
}

TEST_F(UsbIoTest, ReportsAreLaidOutByteForByteWithTheReportIdFirst) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetPins(0xA5);
  ASSERT_TRUE(usb_io_.Init());

  EXPECT_TRUE(usb_io_.WritePort(0, 0xFF, false));
  EXPECT_EQ(usb_io_.ReadPort(0, false), 0xA5);
  const std::uint8_t ss = 1;  // the first read's sequence byte
  EXPECT_TRUE(usb_io_.WritePort(1, 0x12, false));
  EXPECT_TRUE(usb_io_.WritePort(7, 0x34, true));
  EXPECT_TRUE(usb_io_.ReadPort(1, false));
  EXPECT_TRUE(usb_io_.ReadPort(6, true));

  const auto reports = board->OutputReports();
  ASSERT_EQ(reports.size(), 6u);
  EXPECT_EQ(reports[0], (Bytes{0x00, 0x01, 0xFF, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reports[1], (Bytes{0x00, 0x03, 0, 0, 0, 0, 0, ss, 0}));
  EXPECT_EQ(reports[2], (Bytes{0x00, 0x02, 0x12, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reports[3], (Bytes{0x00, 0x13, 0x34, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reports[4], (Bytes{0x00, 0x04, 0, 0, 0, 0, 0, std::uint8_t(ss + 1), 0}));
  EXPECT_EQ(reports[5], (Bytes{0x00, 0x16, 0, 0, 0, 0, 0, std::uint8_t(ss + 2), 0}));
}

TEST_F(UsbIoTest, LongerReportsAreZeroFilledToTheBoardsLength) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetReportLengths(65, 65);
  ASSERT_TRUE(usb_io_.Init());

  EXPECT_TRUE(usb_io_.ReadPort(0, false));
  Bytes expected(65, 0);
  expected[1] = 0x03;
  expected[7] = 1;  // the first read's sequence byte
  EXPECT_EQ(board->OutputReports().at(0), expected);
}

TEST_F(UsbIoTest, StaleAnswersAreSkippedUpToTheHundredthReport) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetPins(0x01);
  ASSERT_TRUE(usb_io_.Init());

  board->AnswerStaleReportsFirst(1);
  EXPECT_EQ(usb_io_.ReadPort(0, false), 1);
  EXPECT_EQ(board->ReportsDelivered(), 2);

  board->AnswerStaleReportsFirst(99);  // the hundredth report is the answer
  board->SetPins(0x00);
  EXPECT_EQ(usb_io_.ReadPort(0, false), 0);
  EXPECT_EQ(board->ReportsDelivered(), 2 + 100);
}

TEST_F(UsbIoTest, HundredMismatchesAndOneMoreReportFailTheRead) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetPins(0x01);
  ASSERT_TRUE(usb_io_.Init());

  board->AnswerStaleReportsFirst(100);
  EXPECT_EQ(ReadFailure(usb_io_), kOutOfSequence);
  EXPECT_EQ(board->ReportsDelivered(), 101);  // the answer itself was read, unexamined
  EXPECT_EQ(board->QueuedReports(), 0);

  board->AnswerStaleReportsFirst(101);
  EXPECT_EQ(ReadFailure(usb_io_), kOutOfSequence);
  EXPECT_EQ(board->ReportsDelivered(), 202);
  EXPECT_EQ(board->QueuedReports(), 1);

  // The left-over answer belongs to the earlier command and is skipped by the next read.
  EXPECT_EQ(usb_io_.ReadPort(0, false), 1);
}

TEST_F(UsbIoTest, SilentBoardFailsTheReadAfterOneBoundedWait) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetSilent(true);
  ASSERT_TRUE(usb_io_.Init());

  EXPECT_EQ(ReadFailure(usb_io_), kNoAnswer);
  EXPECT_EQ(board->ReadTimeouts(), std::vector<int>{static_cast<int>(UsbIo::kReportWait.count())});
}

TEST_F(UsbIoTest, FailedWritesAndReadsGiveTheirReasons) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  ASSERT_TRUE(usb_io_.Init());

  board->SetReadsFail(true);
  EXPECT_EQ(ReadFailure(usb_io_), kNoAnswer);
  board->SetWritesFail(true);
  std::string error;
  EXPECT_FALSE(usb_io_.WritePort(0, 0xFF, false, &error));
  EXPECT_EQ(error, kWriteFailed);
  EXPECT_EQ(ReadFailure(usb_io_), kWriteFailed);
}

TEST_F(UsbIoTest, RepluggedBoardIsFoundAgainAndGetsItsPortsBack) {
  UsbIo::Clock::time_point now{};
  UsbIo usb_io(transport_, messages_, [&] { return now; });
  const auto board = transport_.AddBoard("/dev/hidraw0");
  ASSERT_TRUE(usb_io.Init());
  ASSERT_TRUE(usb_io.WritePort(0, 0xFF, false));
  board->Unplug();

  // A few failed reads in a row give the board up; it is said once.
  for (int i = 0; i < LostDeviceRetry::kFailuresBeforeLoss; ++i) {
    EXPECT_EQ(ReadFailure(usb_io), kWriteFailed);
  }
  EXPECT_EQ(board->OpenHandles(), 0);
  ASSERT_EQ(messages_.texts().size(), 1u);
  EXPECT_NE(messages_.texts()[0].find("does not answer"), std::string::npos);
  // The window says it in Japanese.
  EXPECT_NE(messages_.japanese_texts()[0].find("USB-IO ボードが応答しません"), std::string::npos);

  // Looked up at once, then not again before the interval is over, which grows.
  const int enumerations = transport_.enumerate_calls();
  EXPECT_EQ(ReadFailure(usb_io), kLost);
  EXPECT_EQ(ReadFailure(usb_io), kLost);
  EXPECT_EQ(transport_.enumerate_calls(), enumerations + 1);
  now += LostDeviceRetry::kFirstInterval;
  EXPECT_EQ(ReadFailure(usb_io), kLost);
  now += LostDeviceRetry::kFirstInterval;
  EXPECT_EQ(ReadFailure(usb_io), kLost);
  EXPECT_EQ(transport_.enumerate_calls(), enumerations + 2);

  // Plugged in again (under another node): found by its IDs, port 0 set as before, read.
  const auto replugged = transport_.AddBoard("/dev/hidraw5");
  replugged->SetPins(0x01);
  now += LostDeviceRetry::kLongestInterval;
  EXPECT_EQ(usb_io.ReadPort(0, false), 1);
  ASSERT_GE(replugged->OutputReports().size(), 1u);
  EXPECT_EQ(replugged->OutputReports()[0], (Bytes{0x00, 0x01, 0xFF, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(messages_.texts().size(), 2u);
  EXPECT_EQ(messages_.texts()[1], "The USB-IO board is back; the foot switch works again.");
}

TEST_F(UsbIoTest, OccasionalFailedReadsDoNotGiveTheBoardUp) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  ASSERT_TRUE(usb_io_.Init());
  for (int round = 0; round < 3; ++round) {
    board->SetReadsFail(true);
    for (int i = 1; i < LostDeviceRetry::kFailuresBeforeLoss; ++i) {
      EXPECT_EQ(ReadFailure(usb_io_), kNoAnswer);
    }
    board->SetReadsFail(false);
    EXPECT_TRUE(usb_io_.ReadPort(0, false));
  }
  EXPECT_EQ(board->OpenHandles(), 1);
  EXPECT_TRUE(messages_.texts().empty());
}

TEST_F(UsbIoTest, AccessAfterShutdownInitialisesAgainBeforeTheCommand) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetPins(0x01);
  ASSERT_TRUE(usb_io_.Init());

  usb_io_.Shutdown();
  EXPECT_FALSE(transport_.initialised());
  EXPECT_EQ(board->OpenHandles(), 0);
  const int enumerations = transport_.enumerate_calls();

  EXPECT_EQ(usb_io_.ReadPort(0, false), 1);
  EXPECT_EQ(transport_.init_calls(), 2);
  EXPECT_EQ(transport_.enumerate_calls(), enumerations + 1);
  EXPECT_EQ(board->OpenHandles(), 1);
}

TEST_F(UsbIoTest, BoardPluggedInLaterIsFoundOnTheNextAccess) {
  EXPECT_FALSE(usb_io_.Init());
  std::string error;
  EXPECT_FALSE(usb_io_.WritePort(0, 0xFF, false, &error));
  EXPECT_EQ(error, kNoBoard);

  const auto board = transport_.AddBoard("/dev/hidraw0");
  EXPECT_TRUE(usb_io_.WritePort(0, 0xFF, false));
  EXPECT_EQ(board->OutputReports().size(), 1u);
}

TEST_F(UsbIoTest, ShutdownDuringAReadWaitsForItAndLeavesTheDeviceClosed) {
  const auto board = transport_.AddBoard("/dev/hidraw0");
  board->SetSilent(true);
  ASSERT_TRUE(usb_io_.Init());

  std::string result;
  std::thread reader([&] { result = ReadFailure(usb_io_); });
  while (board->ReadTimeouts().empty()) std::this_thread::yield();
  usb_io_.Shutdown();
  reader.join();

  EXPECT_EQ(result, kNoAnswer);
  EXPECT_EQ(board->OpenHandles(), 0);
}

}  // namespace
}  // namespace velmarin
