#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "app/widget_helpers.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(WindowStart, WithoutAReachableDisplayTheProgramSaysSoAndFails) {
  TempDir dir;
  // A platform named by the session (Wayland's) or by hand never turns this into a crash.
  for (const char* platform :
       {"QT_QPA_PLATFORM=", "QT_QPA_PLATFORM=wayland", "QT_QPA_PLATFORM=xcb"}) {
    for (const char* display : {"DISPLAY=", "DISPLAY=:97"}) {
      SCOPED_TRACE(std::string(platform) + " " + display);
      const ProgramResult result = RunProgram({"--dir", dir.path().string()}, {display, platform});
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_NE(result.err.find("no X display can be reached"), std::string::npos) << result.err;
      EXPECT_NE(result.err.find("--headless"), std::string::npos);
    }
  }
  EXPECT_FALSE(fs::exists(dir / "velmarin.ini"));
}

// Logout or a service manager ends the window as its exit command does: the placement and
// the settings are saved and the exit is clean.
TEST(WindowStart, TermAndIntCloseTheWindowLikeTheExitCommand) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    BackgroundProgram program(
        {"--dir", dir.path().string()}, dir.path(),
        {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (dir / "config").string(),
         "XDG_STATE_HOME=" + (dir / "state").string()});
    // The settings file appears at start-up, after the signals are caught and before the
    // window shows: a signal this early still closes the window once it runs.
    ASSERT_TRUE(WaitFor([&] { return fs::exists(dir / "velmarin.ini"); }, 20s)) << program.err();
    EXPECT_EQ(program.Stop(signal), 0) << program.err();
    EXPECT_TRUE(app::PlacementStored(dir / "state"));
    EXPECT_FALSE(fs::exists(dir / "config" / "velmarin" / "velmarin.conf"));
  }
}

}  // namespace
}  // namespace velmarin::test
