#include <gtest/gtest.h>
#include <signal.h>
#include <sys/vfs.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/temp_dir.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kLimit = 30s;

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The ID of each transfer line "COUNT<TAB>PATH", as the default name format puts it first.
std::vector<std::string> TransferredIds(const std::string& out) {
  std::vector<std::string> ids;
  for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const fs::path target = out.substr(out.find('\t', start) + 1, end - out.find('\t', start) - 1);
    ids.push_back(target.filename().string().substr(0, 6));
  }
  return ids;
}

// The watch folder of a headless station across its restarts and its folder's outages.
class HeadlessStation : public ProgramTest {
 protected:
  std::unique_ptr<BackgroundProgram> Start(const std::string& id,
                                           std::vector<std::string> env = {"DISPLAY="}) {
    logs_.push_back(std::make_unique<TempDir>());
    auto monitor = std::make_unique<BackgroundProgram>(
        std::vector<std::string>{"--headless", "--dir", dir.path().string(), "--id", id},
        logs_.back()->path(), env);
    EXPECT_TRUE(monitor->WaitForErr("watching ", kLimit));
    return monitor;
  }
  bool WaitForLines(const BackgroundProgram& monitor, int lines) {
    return WaitFor([&] { return CountLines(monitor.out()) >= lines; }, kLimit);
  }
  std::vector<std::unique_ptr<TempDir>> logs_;
};

// The program is killed and three stills are saved before it runs again (a user service
// restarts it after 5 s): they are sent at the next start with the ID of the run that ended,
// and said once. A later start takes nothing again.
TEST_F(HeadlessStation, StillsSavedWhileTheProgramWasNotRunningAreSentAtTheNextStart) {
  WriteFileBytes(dir / "before.jpg", JpegBytes(64, 48, 1));
  {
    auto first = Start("4711");
    WriteFileBytes(dir / "during.jpg", JpegBytes(64, 48, 2));
    ASSERT_TRUE(WaitForLines(*first, 1)) << first->err();
    EXPECT_EQ(first->Stop(SIGKILL), -1);
  }
  for (int i = 1; i <= 3; ++i) {
    WriteFileBytes(dir / ("gap" + std::to_string(i) + ".jpg"), JpegBytes(64, 48, 10 + i));
  }
  auto second = Start("999");
  const std::string said = "3 stills saved while Velmarin was not running sent";
  ASSERT_TRUE(second->WaitForErr(said, kLimit));
  EXPECT_EQ(second->Stop(SIGTERM), 0);
  EXPECT_EQ(TransferredIds(second->out()), std::vector<std::string>(3, "004711"));
  EXPECT_EQ(Occurrences(second->err(), said), 1) << second->err();

  auto third = Start("5");
  EXPECT_EQ(third->Stop(SIGTERM), 0);
  EXPECT_EQ(third->out(), "");
}

// With the start-up evacuation, what lies in the watch folder at a start goes to "bkup", the
// stills saved while the program was not running too: none is sent.
TEST_F(HeadlessStation, EvacuationAtStartUpSendsNothingSavedWhileStopped) {
  WriteSettingsFile({dir.path(), Cp932Text(dir.path().string())}, [](Settings& settings) {
    settings[SettingSlot::EvacuateAtStartup] = Cp932Text("1");
  });
  {
    auto first = Start("1");
    EXPECT_EQ(first->Stop(SIGKILL), -1);
  }
  WriteFileBytes(dir / "gap.jpg", JpegBytes(64, 48, 1));
  auto second = Start("2");
  EXPECT_EQ(second->Stop(SIGTERM), 0);
  EXPECT_EQ(second->out(), "");
  EXPECT_TRUE(fs::exists(dir / "bkup" / "gap.jpg"));
  EXPECT_EQ(second->err().find("not running"), std::string::npos) << second->err();
}

// A capture tool that saves "snapshot.jpg" in place each time (truncated, written, closed):
// every save is a capture.
TEST_F(HeadlessStation, EverySaveOverOneNameInPlaceIsSent) {
  auto monitor = Start("1");
  for (int save = 1; save <= 3; ++save) {
    std::ofstream(dir / "snapshot.jpg", std::ios::binary | std::ios::trunc)
        << JpegBytes(64 + 8 * save, 48, save);
    ASSERT_TRUE(WaitForLines(*monitor, save)) << monitor->err();
  }
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
  EXPECT_EQ(CountLines(monitor->out()), 3);
}

// Stills deleted while they waited in a backlog (here the stills saved while the program was
// not running, held before their transfer): a line for each one, and none sent.
TEST_F(HeadlessStation, EveryStillDeletedUnderABacklogIsSaidOnce) {
  Start("1")->Stop(SIGTERM);
  for (int i = 0; i < 5; ++i) {
    WriteFileBytes(dir / ("shot" + std::to_string(i) + ".jpg"), JpegBytes(64, 48, i));
  }
  const fs::path release = dir / "release";
  auto monitor = Start("1", {"DISPLAY=", "VELMARIN_TEST_HOLD_BEFORE_TRANSFER=" + release.string()});
  ASSERT_TRUE(monitor->WaitForErr("held before its transfer", kLimit));
  for (int i = 0; i < 5; ++i) fs::remove(dir / ("shot" + std::to_string(i) + ".jpg"));
  WriteFileBytes(release, "");
  ASSERT_TRUE(WaitFor([&] { return Occurrences(monitor->err(), "image vanished!") >= 5; }, kLimit))
      << monitor->err();
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
  EXPECT_EQ(Occurrences(monitor->err(), "image vanished!"), 5) << monitor->err();
  EXPECT_EQ(monitor->out(), "");
  EXPECT_EQ(monitor->err().find("not running"), std::string::npos) << monitor->err();
}

bool IsFuse(const fs::path& folder) {
  struct statfs info {};
  return statfs(folder.c_str(), &info) == 0 && info.f_type == 0x65735546;
}

// A FUSE folder (bindfs over a folder of stills) drops for a while and comes back: the stills
// it held are not sent again, the still saved before and the one saved after are, once each.
TEST_F(HeadlessStation, FuseFolderThatDropsAndComesBackSendsNothingTwice) {
  if (!fs::exists("/usr/bin/bindfs")) GTEST_SKIP() << "bindfs is not installed";
  const fs::path store = dir / "store";
  const fs::path watch = dir / "watch";
  fs::create_directories(store);
  fs::create_directories(watch);
  for (int i = 0; i < 4; ++i) {
    WriteFileBytes(store / ("old" + std::to_string(i) + ".jpg"), JpegBytes(64, 48, i));
  }
  const auto mount = [&] {
    return RunExecutable("/usr/bin/bindfs", {store.string(), watch.string()});
  };
  if (const ProgramResult mounted = mount(); mounted.exit_code != 0 || !IsFuse(watch)) {
    GTEST_SKIP() << "bindfs could not mount here: " << mounted.err;
  }
  struct Unmount {
    fs::path folder;
    ~Unmount() {
      if (IsFuse(folder)) RunExecutable("/usr/bin/fusermount", {"-u", "-z", folder.string()});
    }
  } unmount{watch};
  WriteSettingsFile({dir.path(), Cp932Text(dir.path().string())}, [&](Settings& settings) {
    settings[SettingSlot::WatchFolder] = Cp932Text(watch.string());
  });
  auto monitor = Start("1");
  const std::string listed = "watching " + watch.string() + " (looked at every 0.5 s)";
  ASSERT_TRUE(monitor->WaitForErr(listed, kLimit));
  WriteFileBytes(watch / "before.jpg", JpegBytes(64, 48, 7));
  ASSERT_TRUE(WaitForLines(*monitor, 1)) << monitor->err();

  ASSERT_EQ(RunExecutable("/usr/bin/fusermount", {"-u", "-z", watch.string()}).exit_code, 0);
  // The bare mount point is watched for the moment, and then the share again.
  ASSERT_TRUE(WaitFor(
      [&] { return Occurrences(monitor->err(), "watching " + watch.string()) >= 2; }, kLimit))
      << monitor->err();
  ASSERT_EQ(mount().exit_code, 0);
  ASSERT_TRUE(WaitFor([&] { return Occurrences(monitor->err(), listed) >= 2; }, kLimit))
      << monitor->err();
  WriteFileBytes(watch / "after.jpg", JpegBytes(64, 48, 8));
  ASSERT_TRUE(WaitForLines(*monitor, 2)) << monitor->err();
  EXPECT_EQ(monitor->Stop(SIGTERM), 0);
  EXPECT_EQ(CountLines(monitor->out()), 2) << monitor->out();
  EXPECT_EQ(monitor->err().find("vanished"), std::string::npos) << monitor->err();
}

}  // namespace
}  // namespace velmarin::test
