#include "transfer/stills_saved_while_stopped.h"

#include <algorithm>
#include <filesystem>

#include "support/cp932_text_testing.h"
#include "support/temp_dir.h"
#include "transfer/folder_monitor_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

// What a run recorded of its watch folder tells the next start which stills were saved while
// the program was not running.
class StillsSavedWhileStoppedTest : public FolderMonitorFixture {
 protected:
  ProgramDir Program() const { return {root_.path(), Cp932Text(root_.path().string())}; }
  Settings SettingsWithWatch(const fs::path& folder) const {
    Settings settings = DefaultSettings(Cp932Text(root_.path().string()));
    settings[SettingSlot::WatchFolder] = Cp932Text(folder.string());
    return settings;
  }
  std::vector<std::string> NamesOf(const std::vector<ArrivedStill>& stills) const {
    std::vector<std::string> names;
    for (const ArrivedStill& still : stills) names.push_back(still.identity.name);
    std::ranges::sort(names);
    return names;
  }
  // A run that saw "old.jpg" there and took "taken.jpg", ended by a crash or a shutdown.
  void RunAndEnd() {
    WriteNewFile(Watch("old.jpg"), "there before");
    Start();
    AddImageAndRunCycle("taken.jpg", "taken");
    SetCaptureId("4711");
    RunCycle();
    RequestStop();
    Join();
  }
};

TEST_F(StillsSavedWhileStoppedTest, StillsWrittenAfterTheRunAreTakenWithItsId) {
  RunAndEnd();
  ASSERT_TRUE(fs::exists(root_ / "velmarin.watch"));
  WriteNewFile(Watch("after1.jpg"), "saved while stopped 1");
  WriteNewFile(Watch("after2.bmp"), "saved while stopped 2");
  WriteNewFile(Watch("notes.txt"), "no still");
  const auto stills = StillsSavedWhileStopped(Program(), SettingsWithWatch(watch_), {});
  ASSERT_EQ(NamesOf(stills), (std::vector<std::string>{"after1.jpg", "after2.bmp"}));
  for (const ArrivedStill& still : stills) {
    EXPECT_EQ(still.binding.capture_id, "4711");
    EXPECT_TRUE(still.saved_while_stopped);
    EXPECT_FALSE(still.known_complete);
  }
  // The journal's stills are given back by the journal.
  EXPECT_EQ(
      NamesOf(StillsSavedWhileStopped(Program(), SettingsWithWatch(watch_), {stills[0].identity})),
      std::vector<std::string>{stills[1].identity.name});
}

// "監視停止" means what is saved from then on is not the program's; a first start, or a watch
// folder chosen anew, knows no stills from before.
TEST_F(StillsSavedWhileStoppedTest, NoneAfterAStopOnPurposeOrForAnotherFolder) {
  const fs::path other = root_ / "other";
  fs::create_directories(other);
  EXPECT_TRUE(StillsSavedWhileStopped(Program(), SettingsWithWatch(watch_), {}).empty());
  RunAndEnd();
  WriteNewFile(Watch("after.jpg"), "saved while stopped");
  WriteNewFile(other / "elsewhere.jpg", "another folder");
  EXPECT_TRUE(StillsSavedWhileStopped(Program(), SettingsWithWatch(other), {}).empty());
  EXPECT_EQ(StillsSavedWhileStopped(Program(), SettingsWithWatch(watch_), {}).size(), 1u);

  memory_.start_over = true;
  Restart(/*start_over=*/true);  // "監視停止", then "IDで開始"
  memory_.start_over = true;
  RequestStop();
  Join();
  EXPECT_FALSE(fs::exists(root_ / "velmarin.watch"));
  WriteNewFile(Watch("later.jpg"), "saved after the stop");
  EXPECT_TRUE(StillsSavedWhileStopped(Program(), SettingsWithWatch(watch_), {}).empty());
}

// The record keeps the stills written at about the newest time it saw, so a file system with
// a coarse clock cannot hide a still saved right after; it is small whatever the folder holds.
TEST(WatchFolderRecord, TellsLaterStillsApartFromSeenOnesOfTheSameSecond) {
  WatchFolderRecord record;
  record.Reset("/watch", {}, 0);
  record.SetCaptureId(Cp932Text("ID\t%1"));
  const auto entry = [](std::string name, std::uint64_t size, std::int64_t seconds) {
    DirectoryEntry seen;
    seen.name = std::move(name);
    seen.size = size;
    seen.modified_ns = seconds * 1'000'000'000;
    return seen;
  };
  const std::int64_t now = 2'000'000'000'000'000'000;
  for (int i = 0; i < 1000; ++i) record.Saw(entry("old" + std::to_string(i), 5, 1000 + i), now);
  record.Saw(entry("last.jpg", 7, 5000), now);
  record.Saw(entry("same second.jpg", 8, 5000), now);
  EXPECT_FALSE(record.SavedLater(entry("old3", 5, 1003)));
  EXPECT_FALSE(record.SavedLater(entry("same second.jpg", 8, 5000)));
  EXPECT_TRUE(record.SavedLater(entry("next in the second.jpg", 8, 5000)));
  EXPECT_TRUE(record.SavedLater(entry("later.jpg", 1, 5001)));
  EXPECT_LT(record.Text().size(), 200u);

  std::string error;
  const auto parsed = WatchFolderRecord::Parse(record.Text(), &error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->folder(), "/watch");
  EXPECT_EQ(parsed->capture_id(), "ID\t%1");
  EXPECT_EQ(parsed->Text(), record.Text());
  EXPECT_FALSE(parsed->SavedLater(entry("same second.jpg", 8, 5000)));
  EXPECT_TRUE(parsed->SavedLater(entry("later.jpg", 1, 5001)));

  // A file dated in the future hides nothing saved after it.
  record.Saw(entry("future.jpg", 3, 9'000'000'000), 6000 * 1'000'000'000LL);
  EXPECT_TRUE(record.SavedLater(entry("later still.jpg", 1, 6001)));
  EXPECT_FALSE(record.SavedLater(entry("future.jpg", 3, 9'000'000'000)));

  for (const std::string& damaged : std::vector<std::string>{
           std::string(), record.Text().substr(0, record.Text().size() - 3),
           "velmarin watch 1\nfolder\trelative\nid\t\nnewest\t0\nend 0\n",
           "velmarin watch 1\nfolder\t/w\nid\t\nnewest\t0\nstill\tx\t1\nend 1\n"}) {
    EXPECT_FALSE(WatchFolderRecord::Parse(damaged, &error)) << damaged;
  }
}

}  // namespace
}  // namespace velmarin::test
