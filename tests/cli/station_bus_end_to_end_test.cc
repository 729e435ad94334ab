#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/station_bus_names.h"
#include "settings/settings.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous: the suite may share the machine with other builds.
constexpr auto kLimit = 30s;
constexpr char kStamp[] = "150,5,3,ID:$i06";

// A headless station on a private session bus, stamping only its ID, watched by dbus-monitor,
// with a stand-in for the desktop's notification server; other programs are the real
// program started a second time, and busctl.
class StationOnTheBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
    if (bus_.address().empty()) GTEST_SKIP() << bus_.error();
    fs::create_directories(program_);
    WriteSettingsFile({program_, Cp932Text(program_.string())},
                      [](Settings& s) { s[SettingSlot::TextLines] = Cp932Text(kStamp); });
    monitor_ = std::make_unique<BackgroundProgram>(
        Executable{"dbus-monitor"}, std::vector<std::string>{"--session", "type='signal'"},
        logs_.path());
    ASSERT_TRUE(WaitForSignal("member=NameLost"));
  }

  void StartStation(const std::vector<std::string>& env = {}) {
    std::vector<std::string> all_env = {"DISPLAY="};
    all_env.insert(all_env.end(), env.begin(), env.end());
    station_ = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"--headless", "--dir", program_.string(), "--id", "555"},
        logs_.path(), all_env);
    ASSERT_TRUE(station_->WaitForErr("watching " + program_.string(), kLimit));
    ASSERT_TRUE(station_->WaitForErr("on the session bus as " + name_, kLimit));
  }

  ::testing::AssertionResult WaitForSignal(const std::string& text) {
    if (WaitFor([&] { return monitor_->out().find(text) != std::string::npos; }, kLimit)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no " << text << " in\n" << monitor_->out();
  }

  // The path of the first transfer line, once it appeared.
  fs::path WaitForTransfer() {
    EXPECT_TRUE(WaitFor([&] { return CountLines(station_->out()) >= 1; }, kLimit))
        << station_->err();
    const std::string out = station_->out();
    return out.substr(out.find('\t') + 1, out.find('\n') - out.find('\t') - 1);
  }

  // What `--process` makes of `picture` stamped with `id`.
  Dib Stamped(const std::string& picture, const std::string& id) {
    const fs::path source = pictures_ / "source.jpg";
    const fs::path target = pictures_ / (id + ".jpg");
    WriteFileBytes(source, picture);
    const ProgramResult made = RunProgram(
        {"--dir", program_.string(), "--id", id, "--process", source.string(), target.string()});
    EXPECT_EQ(made.exit_code, 0) << made.err;
    return ReadJpeg(target);
  }

  PrivateSessionBus bus_;  // first made, last gone
  TempDir logs_;
  TempDir root_;
  TempDir pictures_;
  const fs::path program_ = root_ / "station";
  const std::string name_ = [this] {
    fs::create_directories(program_);
    return StationBusName(program_).value();
  }();
  std::unique_ptr<BackgroundProgram> monitor_;
  std::unique_ptr<BackgroundProgram> station_;
};

TEST_F(StationOnTheBus, AnIdFromASecondStartNamesAndStampsTheNextStillAndFailuresAreNotified) {
  StandInNotificationServer desktop;
  ASSERT_TRUE(desktop.ready());
  StartStation();
  const ProgramResult handed =
      RunProgram({"--dir", program_.string(), "--id", "123456"}, {"DISPLAY="});
  EXPECT_EQ(handed.exit_code, 0) << handed.err;
  EXPECT_EQ(handed.out, "ID 123456 handed to the station on " + program_.string() +
                            ": スイッチ未接続 監視中\n");

  const std::string picture = JpegBytes(640, 480, 1);
  WriteFileBytes(program_ / "cap1.jpg", picture);
  const fs::path target = WaitForTransfer();
  EXPECT_EQ(target.filename().string().substr(0, 7), "123456_") << target;
  // Stamped with the ID handed over, not the one the station started with.
  const Dib transferred = ReadJpeg(target);
  EXPECT_LT(Compare(transferred, Stamped(picture, "123456")).max, 48);
  EXPECT_GT(Compare(transferred, Stamped(picture, "555")).max, 96);
  EXPECT_TRUE(WaitForSignal("member=StillTransferred\n   string \"" +
                            (program_ / "cap1.jpg").string() + "\"\n   string \"" +
                            target.string() + "\"\n   string \"123456\"\n"));

  // A still that does not decode: the signal and a critical notice with its name and reason.
  WriteFileBytes(program_ / "bad.jpg", "not a picture");
  EXPECT_TRUE(WaitForSignal("member=StillFailed\n   string \"" + (program_ / "bad.jpg").string() +
                            "\"\n   string \"JPEG read error! (Not a JPEG file"));
  const auto notices = desktop.WaitForNotices(1, kLimit);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].summary, "転送できませんでした: bad.jpg");
  EXPECT_EQ(notices[0].body.substr(0, 16), "JPEG read error!") << notices[0].body;
  EXPECT_EQ(notices[0].urgency, 2);

  const ProgramResult status = RunProgram({"--dir", program_.string(), "--status"});
  EXPECT_EQ(status.exit_code, 0) << status.err;
  EXPECT_NE(status.out.find("BusName=" + name_ + "\nId=123456\nMonitoring=true\n"),
            std::string::npos)
      << status.out;
  EXPECT_NE(status.out.find("\nLastTransferred=" + (program_ / "cap1.jpg").string() + "\t" +
                            target.string() + "\n"),
            std::string::npos)
      << status.out;
  EXPECT_EQ(station_->Stop(SIGTERM), 0) << station_->err();
}

// An ID handed over while the station finishes its last still is refused, and that still
// goes out whole with the ID it arrived with.
TEST_F(StationOnTheBus, AnIdDuringTheShutdownIsRefusedAndTheStillInHandKeepsItsId) {
  const fs::path hold = root_ / "release";
  StartStation({"VELMARIN_TEST_HOLD_BEFORE_TRANSFER=" + hold.string()});
  WriteFileBytes(program_ / "cap.jpg", JpegBytes(320, 240, 2));
  ASSERT_TRUE(station_->WaitForErr("held before its transfer", kLimit));
  station_->Signal(SIGTERM);
  // The station tells the bus when its shutdown has stopped monitoring.
  ASSERT_TRUE(WaitForSignal("string \"Monitoring\"\n         variant             boolean false"));

  const ProgramResult handed =
      RunProgram({"--dir", program_.string(), "--id", "999"}, {"DISPLAY="});
  EXPECT_EQ(handed.exit_code, 1);
  EXPECT_NE(handed.err.find("did not take the ID: the station is shutting down; nothing was "
                            "changed"),
            std::string::npos)
      << handed.err;

  WriteFileBytes(hold, "");
  EXPECT_EQ(station_->WaitForExit(kLimit), 0) << station_->err();
  EXPECT_EQ(WaitForTransfer().filename().string().substr(0, 7), "000555_");
}

// Without a session bus the station runs as before and says once that it cannot be reached;
// an ID for it is refused with the reason.
TEST(StationWithoutSessionBus, RunsAndSaysOnceThatItCannotBeReached) {
  if (ProgramBinary().empty()) GTEST_SKIP() << "VELMARIN_BINARY is not set";
  TempDir logs;
  TempDir program;
  BackgroundProgram station({"--headless", "--dir", program.path().string()}, logs.path(),
                            {"DISPLAY="});
  ASSERT_TRUE(station.WaitForErr("watching " + program.path().string(), kLimit));
  const ProgramResult handed =
      RunProgram({"--dir", program.path().string(), "--id", "1"}, {"DISPLAY="});
  EXPECT_EQ(handed.exit_code, 1);
  EXPECT_NE(handed.err.find("cannot be reached over the session bus"), std::string::npos)
      << handed.err;
  WriteFileBytes(program / "cap.jpg", JpegBytes(64, 48, 3));
  EXPECT_TRUE(WaitFor([&] { return CountLines(station.out()) == 1; }, kLimit));
  EXPECT_EQ(station.Stop(SIGTERM), 0);
  const std::string err = station.err();
  const std::string said = "the session bus cannot be reached";
  ASSERT_NE(err.find(said), std::string::npos) << err;
  EXPECT_EQ(err.find(said, err.find(said) + 1), std::string::npos) << err;
}

}  // namespace
}  // namespace velmarin::test
