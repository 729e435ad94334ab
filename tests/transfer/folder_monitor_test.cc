#include <sys/stat.h>

#include <filesystem>
#include <fstream>
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

// Three stills saved at once and two more: every one is taken, oldest first, each once.
TEST_F(FolderMonitor, EveryStillOfABurstIsTakenOnceOldestFirstWithoutPauses) {
  Start();
  for (const char* name : {"c.jpg", "a.jpg", "b.jpg"}) AddImage(name, name);
  RunCycle();  // one wake takes all three
  AddImage("d.jpg", "d.jpg");
  AddImage("e.jpg", "e.jpg");
  RunCycles(2);
  const auto transferred = Transferred();
  ASSERT_EQ(transferred.size(), 5u);
  const std::vector<std::string> order = {"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg"};
  for (std::size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(transferred[i].first, static_cast<int>(i) + 1);
    EXPECT_EQ(ReadFileBytes(transferred[i].second), order[i]);  // by creation time
  }
  EXPECT_EQ(image_count_, 5);
  // Every wait for events is the idle one: nothing waits while a still is waiting.
  for (const auto timeout : events_.timeouts()) EXPECT_EQ(timeout, std::chrono::milliseconds(500));
}

// Of stills with the same creation time, the name decides.
TEST(StillArrivals, StillsOfOneTimeAreTakenByName) {
  StillArrivals arrivals;
  arrivals.Rebase("/watch", {});
  for (const char* name : {"b.jpg", "a.jpg", "c.png"}) {
    arrivals.Note({name, true, 1, 5, 5, std::hash<std::string>{}(name), false, 1},
                  Sighting::kMovedIn, {});
  }
  std::vector<std::string> taken;
  while (arrivals.HasWaiting()) taken.push_back(arrivals.TakeOldest().identity.name);
  EXPECT_EQ(taken, (std::vector<std::string>{"a.jpg", "b.jpg", "c.png"}));
}

// A still made while the folder was listed at the start is in the listing, but its creation
// comes after the watch began: it is new, unlike one that was there before.
TEST(StillArrivals, StillMadeDuringTheFirstListingIsNew) {
  const DirectoryEntry before{"before.jpg", true, 5, 1, 1, 11, false, 1, 1};
  const DirectoryEntry made{"made.jpg", true, 5, 2, 2, 12, false, 1, 2};
  StillArrivals arrivals;
  arrivals.Rebase("/watch", {before, made});
  arrivals.Note(before, Sighting::kClosedAfterWrite, {});
  EXPECT_FALSE(arrivals.HasWaiting());
  arrivals.Note(made, Sighting::kCreated, {});
  arrivals.Note(made, Sighting::kClosedAfterWrite, {});
  ASSERT_TRUE(arrivals.HasWaiting());
  EXPECT_EQ(arrivals.TakeOldest().identity.name, "made.jpg");
  EXPECT_FALSE(arrivals.HasWaiting());
}

TEST_F(FolderMonitor, DeletionsNeverHideALaterCapture) {
  for (int i = 0; i < 10; ++i) AddImage("old" + std::to_string(i) + ".jpg");
  Start();
  for (int i = 0; i < 3; ++i) {
    fs::remove(Watch("old" + std::to_string(i) + ".jpg"));
    Event(FolderEvent::Kind::kRemoved, "old" + std::to_string(i) + ".jpg");
  }
  RunCycle();
  for (int i = 1; i <= 4; ++i) {
    AddImageAndRunCycle("new" + std::to_string(i) + ".jpg", "new" + std::to_string(i));
  }
  ASSERT_EQ(Transferred().size(), 4u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "new1");
  EXPECT_EQ(ReadFileBytes(Transferred()[3].second), "new4");
}

// A file moved in keeps its older creation time: it is new all the same, and the newest
// still is not sent again.
TEST_F(FolderMonitor, OlderFileMovedInIsTakenAndNothingIsSentTwice) {
  WriteNewFile(root_.path() / "elsewhere.jpg", "moved");
  Start();
  AddImageAndRunCycle("newest.jpg", "newest");
  fs::rename(root_.path() / "elsewhere.jpg", Watch("moved.jpg"));
  Event(FolderEvent::Kind::kMovedIn, "moved.jpg");
  RunCycles(2);
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "newest");
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "moved");
}

// Saved through a temporary name ("cap.jpg.AbC123") and renamed: one capture. A JPEG still
// open for writing is not taken, however whole it looks.
TEST_F(FolderMonitor, TemporaryRenamedInIsOneCaptureAndAnOpenStillWaitsForItsWriter) {
  Start();
  WriteNewFile(Watch("cap.jpg.AbC123"), "renamed");
  Event(FolderEvent::Kind::kCreated, "cap.jpg.AbC123");
  Event(FolderEvent::Kind::kClosedAfterWrite, "cap.jpg.AbC123");
  RunCycle();
  fs::rename(Watch("cap.jpg.AbC123"), Watch("cap.jpg"));
  Event(FolderEvent::Kind::kRemoved, "cap.jpg.AbC123");
  Event(FolderEvent::Kind::kMovedIn, "cap.jpg");
  RunCycle();
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "renamed");

  WriteNewFile(Watch("open.jpg"), JpegBytes(64, 48, 1));
  Event(FolderEvent::Kind::kCreated, "open.jpg");
  RunCycles(2);
  EXPECT_EQ(Transferred().size(), 1u);
  Event(FolderEvent::Kind::kClosedAfterWrite, "open.jpg");
  RunCycle();
  EXPECT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(image_count_, 2);
  EXPECT_EQ(errors_.Generation(), 0u);
}

// A capture program that always saves under one name: each new file is a capture, and so is
// each rewrite of the file in place (truncated, written and closed again).
TEST_F(FolderMonitor, NewFileOverAnOldNameAndARewriteInPlaceAreNewCaptures) {
  Start();
  AddImageAndRunCycle("shot.jpg", "first");
  WriteNewFile(root_.path() / "shot.tmp", "second");
  fs::rename(root_.path() / "shot.tmp", Watch("shot.jpg"));
  Event(FolderEvent::Kind::kMovedIn, "shot.jpg");
  RunCycle();
  {
    std::ofstream rewrite(Watch("shot.jpg"), std::ios::binary | std::ios::trunc);
    rewrite << "edited";
  }
  Event(FolderEvent::Kind::kClosedAfterWrite, "shot.jpg");
  RunCycle();
  // A close after no write is no capture.
  std::ofstream(Watch("shot.jpg"), std::ios::binary | std::ios::app).close();
  Event(FolderEvent::Kind::kClosedAfterWrite, "shot.jpg");
  RunCycle();
  ASSERT_EQ(Transferred().size(), 3u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "first");
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "second");
  EXPECT_EQ(ReadFileBytes(Transferred()[2].second), "edited");
  EXPECT_EQ(image_count_, 3);
}

// A settings command stops monitoring while its dialog is open: what was saved meanwhile is
// taken when it closes. "監視停止" then "IDで開始" leaves the stills then present alone.
TEST_F(FolderMonitor, StillSavedDuringASettingsCommandIsTakenAfterIt) {
  Start();
  AddImageAndRunCycle("before.jpg", "before");
  Restart(/*start_over=*/false);  // the stop of the command, the restart comes below
  AddImage("during.jpg", "during");
  Restart(/*start_over=*/false);
  RunCycle();
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "during");
  EXPECT_EQ(Transferred()[1].first, 1);  // a run counts its own stills

  RequestStop();
  Join();
  AddImage("while-stopped.jpg", "stopped");
  Restart(/*start_over=*/true);
  RunCycle();
  EXPECT_EQ(Transferred().size(), 2u);
  AddImageAndRunCycle("after.jpg", "after");
  ASSERT_EQ(Transferred().size(), 3u);
  EXPECT_EQ(ReadFileBytes(Transferred()[2].second), "after");
}

// A still whose event came just before the stop, not yet read, arrived while monitoring ran:
// the stop finishes it.
TEST_F(FolderMonitor, StillThatArrivedJustBeforeTheStopIsFinished) {
  Start();
  AddImage("last.jpg", "last");
  RequestStop();
  Join();
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "last");
}

// The ID is the one in force when the still arrived, not when it is processed.
TEST_F(FolderMonitor, IdIsBoundWhenTheStillArrives) {
  Start();
  WriteNewFile(Watch("early.jpg"), "early");
  Event(FolderEvent::Kind::kCreated, "early.jpg");
  RunCycle();
  SetCaptureId("777");
  Event(FolderEvent::Kind::kClosedAfterWrite, "early.jpg");
  AddImage("late.jpg", "late");
  RunCycle();
  const auto processes = fake_.calls_of("process");
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[0].capture_id, "123456");
  EXPECT_EQ(processes[1].capture_id, "777");
}

// Names that end in a still's extension, in any case, are stills; PNG is converted as a BMP is.
TEST_F(FolderMonitor, StillsAreNamedByTheirExtensionInAnyCase) {
  Start();
  for (const char* name : {"readme.jpg.txt", "x.jpg.AbC123", "y.jpg.part"}) AddImage(name);
  RunCycle();
  EXPECT_TRUE(fake_.calls().empty());
  AddImage("a.JPEG", "jpeg");
  AddImage("b.png", "png");
  RunCycle();
  ASSERT_EQ(Transferred().size(), 2u);
  const auto reads = fake_.calls_of("read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].from, Watch("a.JPEG"));
  EXPECT_EQ(reads[1].from, Watch("b.png"));
}

// Without file events (a network file system) the listing decides as the events do.
TEST_F(FolderMonitor, ListingTakesEveryNewStillWhereNoEventsCome) {
  events_.SetWatchable(false);
  AddImage("old.jpg");
  Start();
  AddImage("b.jpg", "b");
  AddImage("a.bmp", "a");
  RunCycle();
  fs::remove(Watch("old.jpg"));
  AddImageAndRunCycle("c.jpg", "c");
  ASSERT_EQ(Transferred().size(), 3u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "b");
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "a");
  EXPECT_EQ(ReadFileBytes(Transferred()[2].second), "c");
}

// An allocation failure or a library exception fails that still, named, and monitoring goes on.
TEST_F(FolderMonitor, OneStillsTroubleNeverEndsTheThread) {
  fake_.throw_out_of_memory = 1;
  Start();
  AddImageAndRunCycle("a.jpg");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(errors_.Get(), "out of memory! ");
  EXPECT_EQ(errors_.Latest().subject, Watch("a.jpg").string());
  AddImageAndRunCycle("b.jpg", "b");
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(Transferred()[0].first, 1);  // the still that failed is not counted
  EXPECT_EQ(errors_.Get(), "") << "the failure ended when a still went through";
}

// Every still is read once into memory and goes from there to its target: no work file is
// written, and none left in "bkup" by an earlier version is read.
TEST_F(FolderMonitor, BmpAndJpegGoFromMemoryWithoutWorkFiles) {
  fs::create_directories(root_.path() / "bkup");
  WriteFileBytes(Backup("temp.jpg"), "earlier picture");
  WriteFileBytes(Backup("444.jpg"), "earlier work file");
  Start();
  AddImageAndRunCycle("shot.bmp", "bmp");
  AddImageAndRunCycle("shot.jpg", "jpg");

  const auto reads = fake_.calls_of("read");
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].from, Watch("shot.bmp"));
  EXPECT_EQ(reads[1].from, Watch("shot.jpg"));
  const auto processes = fake_.calls_of("process");
  ASSERT_EQ(processes.size(), 2u);
  EXPECT_EQ(processes[0].from, Watch("shot.bmp"));
  EXPECT_EQ(processes[1].from, Watch("shot.jpg"));
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "bmp");
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "jpg");
  EXPECT_EQ(ReadFileBytes(Backup("temp.jpg")), "earlier picture");
  EXPECT_EQ(ReadFileBytes(Backup("444.jpg")), "earlier work file");
}

// Folders above the image do not choose its conversion: only its own name does.
TEST_F(FolderMonitor, BmpRouteIsChosenByTheFileNameNotThePath) {
  const fs::path bmp_folder = root_.path() / "shots.bmp.d";
  fs::create_directories(bmp_folder);
  SetSlot(SettingSlot::WatchFolder, bmp_folder.string());
  Start();
  WriteNewFile(bmp_folder / "a.jpg", "jpeg");
  Event(FolderEvent::Kind::kMovedIn, "a.jpg");
  RunCycle();
  ASSERT_EQ(fake_.calls_of("read").size(), 1u);
  EXPECT_EQ(fake_.calls_of("read")[0].from, bmp_folder / "a.jpg");

  const fs::path jpg_folder = root_.path() / "shots.jpg.d";
  fs::create_directories(jpg_folder);
  WriteNewFile(jpg_folder / "b.bmp", "present before");
  SetSlot(SettingSlot::WatchFolder, jpg_folder.string());
  RunCycle();  // the stills of a newly chosen folder are left alone
  WriteNewFile(jpg_folder / "c.bmp", "bitmap");
  Event(FolderEvent::Kind::kMovedIn, "c.bmp");
  RunCycle();
  ASSERT_EQ(fake_.calls_of("read").size(), 2u);
  EXPECT_EQ(fake_.calls_of("read")[1].from, jpg_folder / "c.bmp");
}

TEST_F(FolderMonitor, TargetIsBuiltBeforeConversionWithTheIdOfTheMoment) {
  Start();
  AddImageAndRunCycle("one.bmp");
  SetCaptureId("777");
  AddImageAndRunCycle("two.jpg");
  const auto calls = fake_.calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].step, "build");
  EXPECT_EQ(calls[1].step, "read");
  EXPECT_EQ(calls[0].capture_id, "123456");
  EXPECT_EQ(calls[3].step, "build");
  EXPECT_EQ(calls[3].capture_id, "777");
  EXPECT_EQ(calls[5].capture_id, "777");
}

// A still deleted before it could be read (a bad shot thrown away) is reported; the stills
// already transferred are not taken again.
TEST_F(FolderMonitor, VanishedImageIsReported) {
  events_.SetWatchable(false);  // found by a listing, so it is waited for
  AddImage("old.jpg", "old");
  completeness_.settle_time = std::chrono::milliseconds(400);
  Start();
  AddImage("cap.jpg", "aborted");
  std::jthread remover([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fs::remove(Watch("cap.jpg"));
  });
  RunCycle();
  EXPECT_TRUE(fake_.calls().empty());
  EXPECT_EQ(errors_.Get(), "image vanished! ");
  EXPECT_EQ(image_count_, 0);
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
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "a");
  EXPECT_EQ(ReadFileBytes(Transferred()[1].second), "b");
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
  for (const char* name : {"fifo.jpg", "folder.jpg", "dangling.jpg"}) {
    Event(FolderEvent::Kind::kCreated, name);
  }
  RunCycles(2);
  EXPECT_TRUE(fake_.calls().empty());
  AddImageAndRunCycle("real.jpg", "real");
  ASSERT_EQ(Transferred().size(), 1u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "real");
}

// Nothing of a still's way goes through "bkup": a missing one is no hindrance, and is not made.
TEST_F(FolderMonitor, MissingBackupFolderIsNoHindrance) {
  ASSERT_FALSE(fs::exists(root_.path() / "bkup"));
  Start();
  AddImageAndRunCycle("a.jpg");
  EXPECT_EQ(Transferred().size(), 1u);
  EXPECT_FALSE(fs::exists(root_.path() / "bkup"));
}

// A target that cannot be written holds the still back; it goes once the way is free, before
// the still that came after it.
TEST_F(FolderMonitor, UnwritableTargetHoldsTheStillUntilItCanGo) {
  fake_.disk_full = true;
  Start();
  AddImageAndRunCycle("a.jpg", "a");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(errors_.Get(), "jpg_file_open_error! ");
  EXPECT_EQ(image_count_, 0);  // it counts when it goes, once, however often it is tried

  fake_.disk_full = false;
  AddImageAndRunCycle("b.jpg", "b");  // queues behind, as the back-off has not run out
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(errors_.Get(), "2 stills waiting ");
  AdvanceClock(std::chrono::seconds(2));
  RunCycle();
  ASSERT_EQ(Transferred().size(), 2u);
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "a");
  EXPECT_EQ(Transferred()[1].first, 2);
  EXPECT_EQ(errors_.Get(), "all waiting stills sent ");
}

TEST_F(FolderMonitor, FailedBmpConversionNeverPassesAnOlderPictureOn) {
  fs::create_directories(root_.path() / "bkup");
  WriteFileBytes(Backup("temp.jpg"), "earlier picture");
  WriteFileBytes(Backup("444.jpg"), "earlier work file");
  fake_.read_failure = ImageStatus::kSourceNotDecoded;
  Start();
  AddImageAndRunCycle("broken.bmp");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_TRUE(fake_.calls_of("process").empty());
  // Its writer may still be at it: the failure is said once it has let it be.
  EXPECT_EQ(errors_.Generation(), 0u);
  PassCompletenessBound();
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
  EXPECT_TRUE(fs::exists(Watch("a.jpg")));
}

TEST(TransferOneImage, ReportsTargetAndLeavesTheSourceInPlace) {
  TempDir root;
  FakePipeline fake(root / "hozon");
  LastErrorText errors;
  RecordedMessages messages;
  WriteFileBytes(root / "in.jpg", "picture");
  const auto target =
      TransferOneImage(root / "in.jpg", Settings{}, Cp932Text("1"), LocalTimeNow(),
                       {root.path(), ""}, OpenTransferFolder{}, fake, errors, messages);
  ASSERT_TRUE(target.target.has_value());
  EXPECT_EQ(ReadFileBytes(*target.target), "picture");
  EXPECT_TRUE(fs::exists(root / "in.jpg"));
  EXPECT_EQ(errors.Generation(), 0u);
}

}  // namespace
}  // namespace velmarin::test
