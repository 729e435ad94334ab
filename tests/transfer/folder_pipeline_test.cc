#include <atomic>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "image/jpeg_files.h"
#include "support/cp932_text_testing.h"
#include "support/temp_dir.h"
#include "transfer/folder_monitor_fixture.h"
#include "transfer/image_transfer_pipeline.h"
#include "transfer/stepped_completeness.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;

// The folder thread with the real conversion and processing steps.
class FolderPipeline : public FolderMonitorFixture {
 protected:
  FolderPipeline() {
    SetPipeline(real_);
    SetSlot(SettingSlot::NameFormat, "$i06_$r03");
  }
  // The thread ends before the pipeline it uses.
  ~FolderPipeline() override {
    RequestStop();
    Join();
  }
  // No range and no stamps: nothing is drawn, so results can be compared exactly.
  void WithoutEdits() {
    SetSlot(SettingSlot::SourceRange, "");
    SetSlot(SettingSlot::TextLines, "");
  }
  fs::path Target(const std::string& name) const { return transfer_ / name; }

  std::atomic<int> attempt_pauses_{0};  // between attempts at a write, none slept
  ImageTransferPipeline real_{[this](std::chrono::milliseconds) { ++attempt_pauses_; }};
  SteppedCompleteness completeness_clock_;
};

TEST_F(FolderPipeline, JpegIsStampedIntoTheTransferFolderWithoutWorkFiles) {
  Start();
  AddImageAndRunCycle("shot.jpg", JpegBytes(642, 480, 1));
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(Transferred()[0].second, Target("123456_001.jpg"));
  const auto pixels = DecodedPixels(Target("123456_001.jpg"));
  EXPECT_EQ(pixels.size(), 640u * 480u * 3u);  // width cut to a multiple of four
  EXPECT_FALSE(fs::exists(Backup("444.jpg")));
  EXPECT_FALSE(fs::exists(Backup("temp.jpg")));
  EXPECT_EQ(errors_.Generation(), 0u);
}

TEST_F(FolderPipeline, AFailedWriteRemovesTheStaleTemporariesWhereItWrites) {
  fs::create_directories(transfer_);
  for (const fs::path& file :
       {Target(".123456_007.velmarin-xyz123"), Target(".rsync-tmp.Ab12Cd")}) {
    WriteFileBytes(file, "left by a killed run");
    Age(file);
  }
  Start();
  AddImageAndRunCycle("broken.jpg", "not a picture");
  EXPECT_TRUE(Transferred().empty());
  EXPECT_FALSE(fs::exists(Target(".123456_007.velmarin-xyz123")));
  EXPECT_TRUE(fs::exists(Target(".rsync-tmp.Ab12Cd"))) << "not the program's own";
}

TEST_F(FolderPipeline, StartUpRemovesTheStaleTemporariesOfEveryFolderItWrites) {
  const ProgramDir program{root_.path(), Cp932Text(root_.path().string())};
  Settings settings = DefaultSettings(program.cp932);
  settings[SettingSlot::TransferFolder] =
      Cp932Text("hozon");  // relative: inside the program folder
  const fs::path year = root_.path() / "hozon" / "2026";
  fs::create_directories(year);
  fs::create_directories(root_.path() / "bkup");
  const std::vector<fs::path> stale = {
      root_.path() / ".velmarin.velmarin-aaaaaa", Backup(".temp.velmarin-bbbbbb"),
      root_.path() / "hozon" / ".x.velmarin-cccccc", year / ".000001_20260101_001.velmarin-dddddd"};
  for (const fs::path& file : stale) {
    WriteFileBytes(file, "");
    Age(file);
  }
  WriteFileBytes(year / ".young.velmarin-eeeeee", "");  // another station's, being written
  // This station's own, left by its killed run a moment ago.
  const std::vector<fs::path> own = {year / ".000001_20260101_002.st4t10n.velmarin-ffffff",
                                     root_.path() / "hozon" / ".x.st4t10n.velmarin-gggggg"};
  for (const fs::path& file : own) WriteFileBytes(file, "");
  RemoveStaleTemporariesAtStartUp(settings, program, "st4t10n");
  for (const fs::path& file : stale) EXPECT_FALSE(fs::exists(file)) << file;
  for (const fs::path& file : own) EXPECT_FALSE(fs::exists(file)) << file;
  EXPECT_TRUE(fs::exists(year / ".young.velmarin-eeeeee"));
}

TEST_F(FolderPipeline, BmpIsConvertedInMemory) {
  Start();
  AddImageAndRunCycle("shot.bmp", BmpBytes(64, 48, 2));
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_FALSE(fs::exists(Backup("temp.jpg")));
  EXPECT_EQ(DecodedPixels(Target("123456_001.jpg")).size(), 64u * 48u * 3u);
}

TEST_F(FolderPipeline, FailedBmpConversionDoesNotPassTheOldTempJpgOn) {
  fs::create_directories(root_.path() / "bkup");
  WriteFileBytes(Backup("temp.jpg"), JpegBytes(64, 48, 3));
  Start();
  AddImageAndRunCycle("broken.bmp", "this is no bitmap");
  PassCompletenessBound();
  EXPECT_TRUE(Transferred().empty());
  EXPECT_FALSE(fs::exists(Target("123456_001.jpg")));
  EXPECT_EQ(errors_.Get(), "BMP file read error! ");
}

// Without edits a JPEG whose width is kept goes out as it came; one cut to a multiple of
// four goes out at quality 100, as the work file of the cut picture did.
TEST_F(FolderPipeline, WithoutEditsTheStillGoesOutAsFaithfullyAsItCan) {
  WithoutEdits();
  SetSlot(SettingSlot::JpegQuality, "10");
  Start();
  const std::string kept = JpegBytes(64, 48, 4);
  AddImageAndRunCycle("kept.jpg", kept);
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(ReadFileBytes(Target("123456_001.jpg")), kept);

  const fs::path narrowed = root_.path() / "narrowed.jpg";
  WriteFileBytes(narrowed, JpegBytes(66, 48, 5));
  ASSERT_TRUE(NormalizeJpegWidth(narrowed, root_.path() / "quality100.jpg").ok());
  AddImageAndRunCycle("cut.jpg", ReadFileBytes(narrowed));
  ASSERT_EQ(Transferred().size(), 2u) << errors_.Get();
  EXPECT_EQ(ReadFileBytes(Target("123456_002.jpg")),
            ReadFileBytes(root_.path() / "quality100.jpg"));
}

// The real steps, but other stations take the names the search found (`taken` of them) while
// the picture is being made, as a station sharing the transfer folder would.
class RacedPipeline : public ImageTransferPipeline {
 public:
  explicit RacedPipeline(int taken) : taken_(taken) {}
  ImageResult Process(CapturedPicture& picture, FileNaming& target, const Settings& settings,
                      const Cp932Text& capture_id, const LocalTime& now,
                      LastErrorText& errors) override {
    const std::string name = target.name().filename().string();  // "123456_001.jpg"
    const int searched = std::stoi(name.substr(7, 3));
    for (int serial = searched; serial < searched + taken_; ++serial) {
      char other[32];
      std::snprintf(other, sizeof other, "123456_%03d.jpg", serial);
      WriteFileBytes(target.name().parent_path() / other, "other station");
    }
    return ImageTransferPipeline::Process(picture, target, settings, Cp932Text(capture_id), now,
                                          errors);
  }

 private:
  const int taken_;
};

TEST_F(FolderPipeline, NameTakenByAnotherStationMeanwhileGivesTheNextNumber) {
  RacedPipeline raced(1);
  SetPipeline(raced);
  Start();
  AddImageAndRunCycle("shot.jpg", JpegBytes(640, 480, 9));
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(Transferred()[0].second, Target("123456_002.jpg"));
  EXPECT_EQ(ReadFileBytes(Target("123456_001.jpg")), "other station");
  EXPECT_EQ(DecodedPixels(Target("123456_002.jpg")).size(), 640u * 480u * 3u);
  EXPECT_EQ(errors_.Generation(), 0u);
}

TEST_F(FolderPipeline, CopiedImageAlsoMovesOnPastEveryNameTakenMeanwhile) {
  WithoutEdits();
  RacedPipeline raced(2);
  SetPipeline(raced);
  Start();
  AddImageAndRunCycle("shot.jpg", JpegBytes(64, 48, 10));
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(Transferred()[0].second, Target("123456_003.jpg"));
  EXPECT_EQ(ReadFileBytes(Target("123456_001.jpg")), "other station");
  EXPECT_EQ(ReadFileBytes(Target("123456_002.jpg")), "other station");
  EXPECT_EQ(ReadFileBytes(Target("123456_003.jpg")), JpegBytes(64, 48, 10));
  EXPECT_EQ(FolderEntries(transfer_).size(), 3u);  // no temporary left
}

// A target in the watch folder would be taken again as a new capture, without end.
TEST_F(FolderPipeline, TargetInTheWatchFolderIsRefusedAndNothingIsWritten) {
  Start();
  const fs::path link = root_.path() / "link-to-watch";
  fs::create_directory_symlink(watch_, link);
  int images = 0;
  for (const auto& [folder, name_format] : std::vector<std::pair<std::string, std::string>>{
           {watch_.string(), "$i06_$r03"},
           {link.string(), "$i06_$r03"},
           {root_.path().string(), "watch\\$i06_$r03"}}) {
    SCOPED_TRACE(folder + " " + name_format);
    SetSlot(SettingSlot::TransferFolder, folder);
    SetSlot(SettingSlot::NameFormat, name_format);
    ++images;
    AddImageAndRunCycle("shot" + std::to_string(images) + ".jpg", JpegBytes(64, 48, images));
    EXPECT_TRUE(Transferred().empty());
    EXPECT_EQ(errors_.Get(), "transfer target in watch folder! ");
    EXPECT_FALSE(fs::exists(Watch("123456_001.jpg")));
  }
  // A sub-folder of the watch folder is not scanned: targets may go there.
  SetSlot(SettingSlot::NameFormat, "watch\\out\\$i06_$r03");
  AddImageAndRunCycle("shot4.jpg", JpegBytes(64, 48, 4));
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(Transferred()[0].second, Watch("out") / "123456_001.jpg");
}

// An image never goes out without its stamp: a text that is not code page 932 is drawn with
// "?" for what does not convert, and that is reported once, not for every image.
TEST_F(FolderPipeline, StampTextThatDoesNotConvertIsDrawnAndReportedOnce) {
  SetSlot(SettingSlot::TextLines, "150,5,3,ID:$i06 \xA0");
  Start();
  AddImageAndRunCycle("one.jpg", JpegBytes(320, 240, 1));
  AddImageAndRunCycle("two.jpg", JpegBytes(320, 240, 2));
  ASSERT_EQ(Transferred().size(), 2u) << errors_.Get();
  EXPECT_EQ(errors_.Generation(), 1u);
  EXPECT_EQ(errors_.Get(), "") << "a note on an earlier still ends once a later one went";
  const auto stamped = DecodedPixels(Transferred()[1].second);
  SetSlot(SettingSlot::TextLines, "");
  AddImageAndRunCycle("three.jpg", JpegBytes(320, 240, 2));
  ASSERT_EQ(Transferred().size(), 3u);
  EXPECT_NE(stamped, DecodedPixels(Transferred()[2].second));  // the stamp is there
}

// A file cut short that stops changing is finished: it is tried once, and the texts are those
// of the processing of a work file that could not be made.
TEST_F(FolderPipeline, CutImageIsTriedOnceItSettlesWithTheProcessingTexts) {
  const std::string full = JpegBytes(64, 48, 7);
  Start();
  AddImageAndRunCycle("cut.jpg", full.substr(0, full.size() / 2));
  PassCompletenessBound();
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(image_count_, 0);  // the count counts stills that went out
  EXPECT_EQ(errors_.Get(), "fopen_error! ");
  // The box carries the library's reason.
  ASSERT_EQ(messages_.texts().size(), 1u);
  EXPECT_EQ(messages_.texts()[0], "JPEG read error! (Premature end of JPEG file)");

  WithoutEdits();  // the processing would copy the work file
  AddImageAndRunCycle("cut2.jpg", full.substr(0, full.size() / 3));
  PassCompletenessBound();
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(errors_.Get(), "\x93\x5D\x91\x97\x8E\xB8\x94\x73! ");  // 転送失敗!
}

// The unedited copy that cannot write its target is a failure: nothing is reported as
// transferred, and the still waits, with the next one behind it, until the way is free.
TEST_F(FolderPipeline, CopyThatCannotWriteIsNotATransfer) {
  WithoutEdits();
  fs::create_directories(Target("123456_001.jpg") / "inside");  // the name is a folder
  SetSlot(SettingSlot::NameFormat, "$i06_001");                 // no serial to move on to
  Start();
  AddImageAndRunCycle("a.jpg", JpegBytes(64, 48, 1));
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(errors_.Get(), "\x93\x5D\x91\x97\x8E\xB8\x94\x73! ");  // 転送失敗!
  EXPECT_EQ(attempt_pauses_, 10);                                  // eleven attempts
  SetSlot(SettingSlot::NameFormat, "$i06_$r03");
  AddImageAndRunCycle("b.jpg", JpegBytes(64, 48, 2));
  EXPECT_TRUE(Transferred().empty());
  fs::remove_all(Target("123456_001.jpg"));
  AdvanceClock(std::chrono::seconds(2));
  RunCycle();
  ASSERT_EQ(Transferred().size(), 2u) << errors_.Get();
  EXPECT_EQ(Transferred()[0].second, Target("123456_001.jpg"));  // its own name format
  EXPECT_EQ(Transferred()[1].second, Target("123456_002.jpg"));
}

TEST_F(FolderPipeline, ImageThatKeepsGrowingIsTriedAtTheLimitAndNamed) {
  const std::string full = JpegBytes(64, 48, 7);
  // The writer adds a byte at every look, for longer than the limit.
  completeness_ = completeness_clock_.On(
      {std::chrono::milliseconds(10), std::chrono::milliseconds(500),
       std::chrono::milliseconds(1500)},
      [this] { std::ofstream(Watch("growing.jpg"), std::ios::binary | std::ios::app).put('\0'); });
  events_.SetWatchable(false);  // only a listing leaves the writer unknown
  Start();
  AddImage("growing.jpg", full.substr(0, 100));
  RunCycle();
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(errors_.Get(), "image not complete! ");
  EXPECT_GE(completeness_clock_.Elapsed(), std::chrono::milliseconds(1500));
}

// A writer that creates the still, closes it empty and writes it again (ImageMagick does):
// once the still went through it counts once, and nothing said about it before stays said.
TEST_F(FolderPipeline, StillWrittenAgainAfterAnEmptyCloseCountsOnceAndEndsItsError) {
  Start();
  AddImageAndRunCycle("magick.jpg", "");
  WriteFileBytes(Watch("magick.jpg"), JpegBytes(64, 48, 5));
  Event(FolderEvent::Kind::kClosedAfterWrite, "magick.jpg");
  RunCycle();
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(Transferred()[0].first, 1);
  EXPECT_EQ(image_count_, 1);
  EXPECT_EQ(errors_.Get(), "");
}

TEST_F(FolderPipeline, StopWhileAnImageIsBeingWrittenStillTakesItWhole) {
  WithoutEdits();
  events_.SetWatchable(false);  // found by a listing: the settle rule decides
  const std::string full = JpegBytes(320, 240, 8);
  // The wait's first pause holds until the test has stopped monitoring and the writer is done.
  std::promise<void> waiting;
  std::promise<void> written;
  std::shared_future<void> done = written.get_future().share();
  completeness_ = completeness_clock_.On(CompletenessLimits{}, [&, first = true]() mutable {
    if (!std::exchange(first, false)) return;
    waiting.set_value();
    done.wait();
  });
  Start();
  std::ofstream out(Watch("late.jpg"), std::ios::binary);
  out.write(full.data(), static_cast<std::streamsize>(full.size() / 2));
  out.flush();
  events_.Release();  // the listing finds the half-written image and waits for the rest
  waiting.get_future().wait();
  ASSERT_EQ(in_hand_.Get(), Watch("late.jpg"));

  // Monitoring stops while the capture program is still writing: the image is finished,
  // not read half-done and lost.
  RequestStop();
  out.write(full.data() + full.size() / 2,
            static_cast<std::streamsize>(full.size() - full.size() / 2));
  out.close();
  written.set_value();
  Join();
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(DecodedPixels(Transferred()[0].second).size(), 320u * 240u * 3u);
  EXPECT_EQ(errors_.Generation(), 0u);
}

}  // namespace
}  // namespace velmarin::test
