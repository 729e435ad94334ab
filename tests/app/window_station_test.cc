#include "app/window_station.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include <chrono>
#include <fstream>
#include <optional>

#include "app/control_panel.h"
#include "control/station_bus_names.h"
#include "platform/encoding.h"
#include "support/session_bus.h"
#include "window_fixture.h"

namespace velmarin::test {
namespace {

using namespace std::chrono_literals;

// The real window offered on a private session bus; busctl and gdbus are the other programs.
class WindowOnTheBus : public WindowTest {
 protected:
  void SetUp() override {
    if (bus_.address().empty()) GTEST_SKIP() << bus_.error();
    app::MainWindow& window = Window();  // makes the session
    station_ = std::make_unique<app::WindowStation>(window, *session_);
    station_->Connect();
    ASSERT_EQ(RunExecutable("gdbus", {"wait", "--session", "--timeout", "30", name_}).exit_code, 0);
  }
  void TearDown() override { station_.reset(); }

  // Runs `tool ARGS` while the window goes on handling its events, to the tool's end.
  ProgramResult CallWhileTheWindowRuns(const std::string& tool,
                                       const std::vector<std::string>& args) {
    BackgroundProgram call(Executable{tool}, args, logs_.path());
    std::optional<int> exit_code;
    EXPECT_TRUE(WaitFor(
        [&] {
          QApplication::processEvents();
          exit_code = call.WaitForExit(0ms);
          return exit_code.has_value();
        },
        30s));
    return {exit_code.value_or(-1), call.out(), call.err()};
  }
  ProgramResult Busctl(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--user", "call", name_, kStationObjectPath, kStationInterface};
    all.insert(all.end(), args.begin(), args.end());
    return CallWhileTheWindowRuns("busctl", all);
  }

  PrivateSessionBus bus_;
  TempDir logs_;
  const std::string name_ = StationBusName(dir_.path()).value();
  std::unique_ptr<app::WindowStation> station_;
};

TEST_F(WindowOnTheBus, AnotherProgramDrivesTheWindowAsTheKeypadAndButtonsWould) {
  const ProgramResult started = CallWhileTheWindowRuns(
      "gdbus", {"call", "--session", "--dest", name_, "--object-path", kStationObjectPath,
                "--method", std::string(kStationInterface) + ".Start", "4711"});
  EXPECT_EQ(started.exit_code, 0) << started.err;
  EXPECT_EQ(started.out, "('スイッチ未接続 監視中',)\n");
  EXPECT_EQ(Window().panel()->id_field()->text(), "4711");
  EXPECT_EQ(Window().panel()->status_line()->text(), "スイッチ未接続 監視中");
  EXPECT_EQ(Window().windowTitle(), "4711-0");
  EXPECT_TRUE(session_->state().monitoring_active);

  EXPECT_EQ(Busctl({"SetId", "s", "写真1"}).exit_code, 0);
  EXPECT_EQ(Window().panel()->id_field()->text(), "写真1");
  EXPECT_EQ(Window().windowTitle(), "写真1-0");
  EXPECT_EQ(Utf8(session_->state().CaptureId().bytes()), "写真1");
  EXPECT_TRUE(session_->state().monitoring_active);

  EXPECT_EQ(Busctl({"Stop"}).exit_code, 0);
  EXPECT_EQ(Window().panel()->status_line()->text(), "監視休止中");
  EXPECT_FALSE(session_->state().monitoring_active);
}

// While a settings dialog is open monitoring is stopped for it: a call would upset its
// restart, so it is refused and the field keeps what the user typed.
TEST_F(WindowOnTheBus, ACallWhileASettingsDialogIsOpenIsRefused) {
  ProgramResult during;
  run_dialog_ = [&](QDialog&) {
    during = Busctl({"Start", "s", "9"});
    return int{QDialog::Rejected};
  };
  Window().NamingSettings();
  EXPECT_NE(during.exit_code, 0);
  EXPECT_NE(during.err.find("a settings dialog is open at the station; nothing was changed"),
            std::string::npos)
      << during.err;
  EXPECT_EQ(Window().panel()->id_field()->text(), "");
  EXPECT_EQ(session_->state().CaptureId(), "0");
}

// Closing is final for other programs too: while the window finishes a still, a Start is
// refused, whether it reaches the bus after the close began or was received before and is run
// after; the ID field stays as it was and monitoring does not start again.
TEST_F(WindowOnTheBus, AStartWhileTheWindowClosesIsRefusedAndStartsNothing) {
  Window().panel()->SetIdText(QStringLiteral("77"));
  ASSERT_TRUE(Window().panel()->StartWithId());
  ASSERT_TRUE(WatchFolderLookedAt());
  std::ofstream writer(dir_ / "open.jpg", std::ios::binary);
  writer << "the first half";
  writer.flush();
  Window().close();
  ASSERT_TRUE(WaitFor(
      [&] {
        QApplication::processEvents();
        return session_->CurrentImage().has_value();
      },
      10s));

  const ProgramResult during = Busctl({"Start", "s", "9"});
  EXPECT_NE(during.exit_code, 0);
  EXPECT_NE(during.err.find("the station is shutting down; nothing was changed"), std::string::npos)
      << during.err;
  EXPECT_EQ(station_->Start(Utf8ToCp932Replacing("9")), std::nullopt);
  EXPECT_EQ(Window().panel()->id_field()->text(), "77");
  EXPECT_EQ(Utf8(session_->state().CaptureId().bytes()), "77");
  EXPECT_FALSE(session_->state().monitoring_active);

  Window().close();  // again: ends at once, the still left for the next run
  EXPECT_TRUE(WaitFor(
      [&] {
        QApplication::processEvents();
        return Window().shut_down();
      },
      10s));
  EXPECT_FALSE(session_->state().monitoring_active);
}

}  // namespace
}  // namespace velmarin::test
