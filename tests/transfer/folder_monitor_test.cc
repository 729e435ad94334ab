#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "support/temp_dir.h"
#include "transfer/folder_monitor_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using FolderMonitor = FolderMonitorFixture;

TEST_F(FolderMonitor, ImagesPresentAtStartAreLeftAndTheEleventhIsTaken) {
  for (int i = 0; i < 10; ++i) AddImage("old" + std::to_string(i) + ".jpg");
  image_count_ = 7;  // a run starts counting from zero
  Start();
  EXPECT_EQ(image_count_, 0);
  RunCycles(2);
  EXPECT_TRUE(fake_.calls().empty());

  AddImageAndRunCycle("new.jpg", "eleventh");
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(Transferred()[0].first, 1);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "eleventh");
  EXPECT_EQ(image_count_, 1);
  RunCycles(2);
  EXPECT_EQ(Transferred().size(), 1u);
}

TEST_F(FolderMonitor, OfTwoImagesWithinOneScanOnlyTheNewerIsTaken) {
  Start();
  AddImage("first.jpg", "first");
  AddImage("second.jpg", "second");
  RunCycles(3);
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "second");
  EXPECT_EQ(image_count_, 1);
}

TEST_F(FolderMonitor, AfterDeletionsOnlyAnImageBeyondTheLargestCountIsTaken) {
  for (int i = 0; i < 10; ++i) AddImage("old" + std::to_string(i) + ".jpg");
  Start();
  for (int i = 0; i < 3; ++i) fs::remove(Watch("old" + std::to_string(i) + ".jpg"));
  RunCycle();
  for (int i = 1; i <= 4; ++i) {
    AddImageAndRunCycle("new" + std::to_string(i) + ".jpg", "new" + std::to_string(i));
  }
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "new4");
}

TEST_F(FolderMonitor, NamesAreTestedBySubstringAndExactCase) {
  Start();
  AddImage("a.Jpg");
  AddImage("a.jpeg");
  RunCycles(2);
  EXPECT_TRUE(fake_.calls().empty());
  AddImageAndRunCycle("a.jpg.txt", "text-named image");
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "text-named image");
}

TEST_F(FolderMonitor, BmpGoesThroughTempJpgAndJpegSkipsIt) {
  Start();
  AddImageAndRunCycle("shot.bmp", "bmp");
  AddImageAndRunCycle("shot.jpg", "jpg");

  const auto converts = fake_.calls_of("convert");
  ASSERT_EQ(converts.size(), 1u);
  EXPECT_EQ(converts[0].from, Watch("shot.bmp"));
  EXPECT_EQ(converts[0].to, Backup("temp.jpg"));
  const auto normalizes = fake_.calls_of("normalize");
  ASSERT_EQ(normalizes.size(), 2u);
  EXPECT_EQ(normalizes[0].from, Backup("temp.jpg"));
  EXPECT_EQ(normalizes[1].from, Watch("shot.jpg"));
  EXPECT_EQ(normalizes[1].to, Backup("444.jpg"));
  const auto processes = fake_.calls_of("process");
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[1].from, Backup("444.jpg"));
}

// Folders above the image do not choose its conversion: only its own name does.
TEST_F(FolderMonitor, BmpRouteIsChosenByTheFileNameNotThePath) {
  const fs::path bmp_folder = root_.path() / "shots.bmp.d";
  fs::create_directories(bmp_folder);
  SetSlot(SettingSlot::WatchFolder, bmp_folder.string());
  Start();
  WriteNewFile(bmp_folder / "a.jpg", "jpeg");
  RunCycle();
  EXPECT_TRUE(fake_.calls_of("convert").empty());
  ASSERT_EQ(fake_.calls_of("normalize").size(), 1u);
  EXPECT_EQ(fake_.calls_of("normalize")[0].from, bmp_folder / "a.jpg");

  const fs::path jpg_folder = root_.path() / "shots.jpg.d";
  fs::create_directories(jpg_folder);
  SetSlot(SettingSlot::WatchFolder, jpg_folder.string());
  // The remembered count (1) is only ever raised: two images exceed it.
  WriteNewFile(jpg_folder / "b.bmp", "bitmap");
  WriteNewFile(jpg_folder / "c.bmp", "bitmap");
  RunCycle();
  ASSERT_EQ(fake_.calls_of("convert").size(), 1u);
  EXPECT_EQ(fake_.calls_of("convert")[0].from, jpg_folder / "c.bmp");
}

TEST_F(FolderMonitor, TargetIsBuiltBeforeConversionWithTheIdOfTheMoment) {
  Start();
  AddImageAndRunCycle("one.bmp");
  SetCaptureId("777");
  AddImageAndRunCycle("two.jpg");
  const auto calls = fake_.calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0].step, "build");
  EXPECT_EQ(calls[1].step, "convert");
  EXPECT_EQ(calls[0].capture_id, "123456");
  EXPECT_EQ(calls[4].step, "build");
  EXPECT_EQ(calls[4].capture_id, "777");
  EXPECT_EQ(calls[6].capture_id, "777");
}

// A capture program that saves through a temporary name shows the temporary first; the
// rename that follows does not raise the count.
TEST_F(FolderMonitor, ImageRenamedAwayBeforeItIsReadIsTakenUnderItsNewName) {
  completeness_.settle_time = std::chrono::milliseconds(400);
  Start();
  for (const std::string& name : {std::string("a.jpg"), std::string("b.jpg")}) {
    const std::string temporary = name + (name == "a.jpg" ? ".AbC123" : ".part");
    AddImage(temporary, name);
    std::jthread renamer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      fs::rename(Watch(temporary), Watch(name));
    });
    RunCycle();
  }
  RunCycles(2);
  const auto normalizes = fake_.calls_of("normalize");
  ASSERT_EQ(normalizes.size(), 2u);
  EXPECT_EQ(normalizes[0].from, Watch("a.jpg"));
  EXPECT_EQ(normalizes[1].from, Watch("b.jpg"));
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(Transferred()[1].first, 2);  // each image counted once
  EXPECT_EQ(image_count_, 2);
  EXPECT_EQ(errors_.Generation(), 0u);
}

// A temporary that is deleted instead of renamed leaves no image: the older images already
// transferred are not taken again.
TEST_F(FolderMonitor, VanishedImageWithNothingNewerIsReported) {
  AddImage("old.jpg", "old");
  completeness_.settle_time = std::chrono::milliseconds(400);
  Start();
  AddImage("cap.jpg.AbC123", "aborted");
  std::jthread remover([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fs::remove(Watch("cap.jpg.AbC123"));
  });
  RunCycle();
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_EQ(errors_.Get(), "image vanished! ");
  EXPECT_EQ(image_count_, 1);
}

TEST_F(FolderMonitor, PausesAreShortAfterAnImageAndLongerWhenIdle) {
  Start();
  AddImageAndRunCycle("one.jpg");
  const auto durations = gate_.durations();
  ASSERT_EQ(durations.size(), 2u);
  EXPECT_EQ(durations[0], std::chrono::milliseconds(500));
  EXPECT_EQ(durations[1], std::chrono::milliseconds(250));
}

TEST_F(FolderMonitor, MissingWatchFolderIdlesSilentlyUntilItAppears) {
  fs::remove(watch_);
  Start();
  RunCycles(2);
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_EQ(errors_.Generation(), 0u);

  fs::create_directories(watch_);
  AddImage("a.jpg", "a");
  AddImage("b.jpg", "b");
  RunCycle();
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "b");
}

TEST_F(FolderMonitor, EmptyWatchFolderSettingIsReportedOnceAndNothingIsWatched) {
  SetSlot(SettingSlot::WatchFolder, "");
  Start();
  RunCycles(3);
  EXPECT_EQ(errors_.Get(), "watch folder not set! ");
  EXPECT_EQ(errors_.Generation(), 1u);
  EXPECT_TRUE(fake_.calls().empty());
}

TEST_F(FolderMonitor, EntriesThatAreNotRegularFilesNeverBlockTheThread) {
  Start();
  ASSERT_EQ(mkfifo(Watch("fifo.jpg").c_str(), 0600), 0);
  fs::create_directory(Watch("folder.jpg"));
  fs::create_symlink(root_.path() / "nowhere", Watch("dangling.jpg"));
  RunCycles(2);
  EXPECT_TRUE(fake_.calls().empty());
  AddImageAndRunCycle("real.jpg", "real");
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "real");
}

TEST_F(FolderMonitor, MissingBackupFolderIsCreated) {
  ASSERT_FALSE(fs::exists(root_.path() / "bkup"));
  Start();
  AddImageAndRunCycle("a.jpg");
  EXPECT_TRUE(fs::is_directory(root_.path() / "bkup"));
  EXPECT_EQ(Transferred().size(), 1u);
}

TEST_F(FolderMonitor, UndeletableWorkFileStopsTheImageAndIsReported) {
  fs::create_directories(Backup("444.jpg"));
  WriteFileBytes(Backup("444.jpg") / "keep", "earlier image");
  Start();
  AddImageAndRunCycle("a.jpg");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_TRUE(fake_.calls_of("normalize").empty());
  EXPECT_TRUE(fake_.calls_of("process").empty());
  EXPECT_EQ(errors_.Get(), "444.jpg delete error! ");
  EXPECT_EQ(image_count_, 1);  // the image still counts

  fs::remove_all(Backup("444.jpg"));
  AddImageAndRunCycle("b.jpg", "b");
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(Transferred()[0].first, 2);
}

TEST_F(FolderMonitor, FailedBmpConversionNeverPassesAnOlderPictureOn) {
  fs::create_directories(root_.path() / "bkup");
  WriteFileBytes(Backup("temp.jpg"), "earlier picture");
  WriteFileBytes(Backup("444.jpg"), "earlier work file");
  fake_.convert_error = "BMP file read error! ";
  Start();
  AddImageAndRunCycle("broken.bmp");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_TRUE(fake_.calls_of("normalize").empty());
  EXPECT_FALSE(fs::exists(Backup("temp.jpg")));
  EXPECT_EQ(errors_.Get(), "BMP file read error! ");
  EXPECT_TRUE(!fs::exists(transfer_) || fs::is_empty(transfer_));
}

TEST_F(FolderMonitor, NoFreeTargetNameOverwritesNothingAndIsReported) {
  fake_.build_error = "no free serial number below 99999";
  Start();
  AddImageAndRunCycle("a.jpg");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(fake_.calls().size(), 1u);  // nothing after the failed target path
  EXPECT_EQ(errors_.Get(), "no free serial number below 99999");
}

TEST_F(FolderMonitor, StopEndsTheThreadDuringAPause) {
  Start();
  // The fixture's destructor requests the stop while the thread is held at its pause; the
  // join would hang if the pause ignored it.
  SUCCEED();
}

TEST(TransferOneImage, ReportsTargetAndLeavesTheSourceInPlace) {
  TempDir root;
  FakePipeline fake(root / "hozon");
  LastErrorText errors;
  RecordedMessages messages;
  WriteFileBytes(root / "in.jpg", "picture");
  const auto target =
      TransferOneImage(root / "in.jpg", Settings{}, "1", {root.path(), ""}, fake, errors, messages);
  ASSERT_TRUE(target.has_value());
  EXPECT_EQ(ReadFileBytes(*target), "picture");
  EXPECT_TRUE(fs::exists(root / "in.jpg"));
  EXPECT_EQ(errors.Generation(), 0u);
}

}  // namespace
}  // namespace velmarin::test
