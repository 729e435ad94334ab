#include <filesystem>
#include <fstream>
#include <utility>

#include "support/cp932_text_testing.h"
#include "support/temp_dir.h"
#include "transfer/folder_monitor_fixture.h"
#include "transfer/stepped_completeness.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using Kind = FolderEvent::Kind;

// How writers no one here wrote save their stills, and what the folder thread makes of it.
class WriterPatterns : public FolderMonitorFixture {
 protected:
  void Append(const std::string& name, std::string_view bytes) {
    std::ofstream(Watch(name), std::ios::binary | std::ios::app) << bytes;
  }
  std::vector<std::string> TransferredBytes() const {
    std::vector<std::string> bytes;
    for (const auto& [count, target] : Transferred()) bytes.push_back(ReadFileBytes(target));
    return bytes;
  }
};

// Events were lost (an inotify queue overflow): the writers' closes of "a" and "b" never come,
// nor any event of "c". The listing after the overflow decides: all are taken once they have
// stopped changing, in the order they were made, before "d", saved after them.
TEST_F(WriterPatterns, AfterAnOverflowAListingDecidesAndStillsWhoseCloseWasLostAreTaken) {
  Start();
  for (const char* name : {"a.jpg", "b.jpg"}) {
    WriteNewFile(Watch(name), name);
    Event(Kind::kCreated, name);
  }
  RunCycle();
  EXPECT_TRUE(Transferred().empty());  // their writers are at work, as far as is known
  WriteNewFile(Watch("c.jpg"), "c.jpg");
  AddImage("d.jpg", "d.jpg");
  Event(Kind::kOverflow, "");
  RunCycle();
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
  EXPECT_EQ(errors_.Generation(), 0u);
}

// A writer that neither closes its still nor lets it be is waited for up to the completeness
// bound, not until the program stops.
TEST_F(WriterPatterns, StillWhoseCloseNeverComesIsTakenAfterTheBound) {
  Start();
  WriteNewFile(Watch("open.jpg"), "written, never closed");
  Event(Kind::kCreated, "open.jpg");
  RunCycles(2);
  EXPECT_TRUE(Transferred().empty());
  AdvanceClock(completeness_.max_wait);
  RunCycle();
  EXPECT_EQ(TransferredBytes(), std::vector<std::string>{"written, never closed"});
}

// ImageMagick makes the file, closes it empty and writes it again: the empty close is no
// capture and no failure; the close after the write is.
TEST_F(WriterPatterns, FileClosedEmptyIsStillBeingWritten) {
  Start();
  WriteNewFile(Watch("magick.jpg"), "");
  Event(Kind::kCreated, "magick.jpg");
  Event(Kind::kClosedAfterWrite, "magick.jpg");
  RunCycles(2);
  EXPECT_TRUE(fake_.calls().empty());
  Append("magick.jpg", "the picture");
  Event(Kind::kClosedAfterWrite, "magick.jpg");
  RunCycle();
  EXPECT_EQ(TransferredBytes(), std::vector<std::string>{"the picture"});
  EXPECT_EQ(image_count_, 1);
  EXPECT_EQ(errors_.Generation(), 0u);
  EXPECT_TRUE(messages_.texts().empty());
}

// The close of ImageMagick's empty file is read only once its second write is under way, and
// the writer finishes while the still is read: what was read is not sent, and the whole still
// is sent once.
TEST_F(WriterPatterns, StillWrittenOnWhileItIsReadIsReadAgainAndSentOnce) {
  Start();
  WriteNewFile(Watch("magick.jpg"), "");
  Event(Kind::kCreated, "magick.jpg");
  Append("magick.jpg", "the pic");
  Event(Kind::kClosedAfterWrite, "magick.jpg");
  bool finished = false;
  fake_.before_write = [&] {
    if (!std::exchange(finished, true)) Append("magick.jpg", "ture");
  };
  RunCycle();
  Event(Kind::kClosedAfterWrite, "magick.jpg");
  PassCompletenessBound();
  EXPECT_EQ(TransferredBytes(), std::vector<std::string>{"the picture"});
  EXPECT_EQ(image_count_, 1);
  EXPECT_EQ(errors_.Generation(), 0u);
  EXPECT_TRUE(messages_.texts().empty());
}

// A still whose writer goes on past the completeness bound, also while it is read: what is
// read at the bound is sent, as before (its later changes are new captures); it is not put
// back to be waited for again, which for a writer that never stops would hold up every still
// behind it for good.
TEST_F(WriterPatterns, StillChangingAtTheBoundIsSentAsReadThere) {
  int reads_left = 3;  // the writer stops after the third read
  SteppedCompleteness stepped;
  completeness_ = stepped.On({std::chrono::milliseconds(10), std::chrono::milliseconds(500),
                              std::chrono::milliseconds(1500)},
                             [&] {
                               if (reads_left > 0) Append("long.jpg", "+");
                             });
  events_.SetWatchable(false);
  fake_.before_write = [&] {
    if (reads_left > 0) {
      --reads_left;
      Append("long.jpg", "+");
    }
  };
  Start();
  WriteNewFile(Watch("long.jpg"), "growing");
  RunCycles(8);
  EXPECT_EQ(fake_.calls_of("process").size(), Transferred().size());
  ASSERT_FALSE(Transferred().empty());
  EXPECT_TRUE(TransferredBytes()[0].starts_with("growing+")) << TransferredBytes()[0];
}

// Qt's QSaveFile writes a file without a name (O_TMPFILE) and links it into the folder: its
// close comes under "#" and its inode number.
TEST_F(WriterPatterns, FileLinkedInWithoutANameIsTakenAtItsClose) {
  Start();
  WriteNewFile(Watch("saved.jpg"), "saved whole");
  Event(Kind::kCreated, "saved.jpg");
  Event(Kind::kClosedAfterWrite,
        "#" + std::to_string(QueryDirectoryEntry(watch_, "saved.jpg")->inode));
  RunCycle();
  EXPECT_EQ(TransferredBytes(), std::vector<std::string>{"saved whole"});
}

// A writer that appends across several opens: its first close leaves a still that does not
// decode. Nothing is said while it may come back; its next close sends the whole still.
TEST_F(WriterPatterns, StillThatFailsRightAfterACloseWaitsForTheNextOne) {
  fake_.unreadable = 1;
  Start();
  AddImageAndRunCycle("appended.jpg", "first part");
  EXPECT_TRUE(Transferred().empty());
  Append("appended.jpg", ", second part");
  Event(Kind::kClosedAfterWrite, "appended.jpg");
  RunCycle();
  EXPECT_EQ(TransferredBytes(), std::vector<std::string>{"first part, second part"});
  PassCompletenessBound();
  EXPECT_EQ(errors_.Generation(), 0u);
  EXPECT_EQ(image_count_, 1);
}

// The same where no events come: a writer that pauses mid-still for longer than the settle
// time gives a still that does not decode; the listing sees it grow and it is taken again.
TEST_F(WriterPatterns, ListedStillThatFailsIsTakenAgainWhenItGrowsAndNothingIsSaid) {
  events_.SetWatchable(false);
  fake_.unreadable = 1;
  Start();
  WriteNewFile(Watch("paused.jpg"), "before the pause");
  RunCycle();
  EXPECT_TRUE(Transferred().empty());
  Append("paused.jpg", ", after it");
  RunCycle();
  EXPECT_EQ(TransferredBytes(), std::vector<std::string>{"before the pause, after it"});
  PassCompletenessBound();
  EXPECT_EQ(errors_.Generation(), 0u);
}

// A capture tool that always saves "snapshot.jpg" in place, on a folder without events: each
// save after the still was taken is a new capture, though no folder time moves.
TEST_F(WriterPatterns, ListedStillRewrittenInPlaceAfterItWasTakenIsANewCapture) {
  events_.SetWatchable(false);
  Start();
  WriteNewFile(Watch("snapshot.jpg"), "save 1");
  RunCycle();
  for (const char* save : {"save 2", "save 3"}) {
    std::ofstream(Watch("snapshot.jpg"), std::ios::binary | std::ios::trunc) << save;
    RunCycles(2);
  }
  EXPECT_EQ(TransferredBytes(), (std::vector<std::string>{"save 1", "save 2", "save 3"}));
}

}  // namespace
}  // namespace velmarin::test
