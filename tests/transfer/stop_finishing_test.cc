#include <filesystem>
#include <fstream>

#include "support/cp932_text_testing.h"
#include "support/program_process.h"
#include "support/temp_dir.h"
#include "transfer/folder_monitor_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class StopFinishing : public FolderMonitorFixture {
 protected:
  // A still the capture program has made and not yet closed, seen by the thread.
  void BeginWriting(const fs::path& still, std::string_view bytes) {
    WriteNewFile(still, bytes);
    Event(FolderEvent::Kind::kCreated, still.filename().string());
    RunCycle();
  }
};

void Append(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::app);
  out << bytes;
}

// A stop while the capture program is still writing: the thread goes on reading the folder's
// events and takes the still the moment its writer closes it, however long that took.
TEST_F(StopFinishing, StillBeingWrittenIsTakenWhenItsWriterClosesIt) {
  Start();
  BeginWriting(Watch("open.jpg"), "first half");
  RequestStop();
  WaitForNextWait();  // reading events, waiting for the close
  EXPECT_EQ(in_hand_.Get(), Watch("open.jpg"));
  EXPECT_TRUE(Transferred().empty());

  Append(Watch("open.jpg"), ", second half");
  Event(FolderEvent::Kind::kClosedAfterWrite, "open.jpg");
  events_.Release();
  Join();
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "first half, second half");
  EXPECT_EQ(errors_.Generation(), 0u);
  EXPECT_FALSE(in_hand_.Left().has_value());
}

// A writer that never closes its still holds the stop no longer than the completeness bound;
// then the still is taken once it has stopped changing.
TEST_F(StopFinishing, WriterThatNeverClosesHoldsTheStopOnlyUntilTheBound) {
  Start();
  BeginWriting(Watch("stuck.jpg"), "all there is");
  RequestStop();
  WaitForNextWait();
  AdvanceClock(completeness_.max_wait - milliseconds(100));
  events_.Release();
  WaitForNextWait();
  EXPECT_EQ(events_.timeouts().back(), milliseconds(100));  // no wait beyond the bound
  EXPECT_TRUE(Transferred().empty());

  AdvanceClock(milliseconds(100));
  events_.Release();
  Join();
  ASSERT_EQ(Transferred().size(), 1u) << errors_.Get();
  EXPECT_EQ(ReadFileBytes(Transferred()[0].second), "all there is");
}

// A second stop ends the wait for the writer at once: the still stays in the watch folder and
// in the journal for the next run.
TEST_F(StopFinishing, AbandonEndsTheWaitForTheWriterAndKeepsTheStillForTheNextRun) {
  Start();
  BeginWriting(Watch("open.jpg"), "half");
  RequestStop();
  WaitForNextWait();
  Abandon();
  Join();
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(in_hand_.Left(), Watch("open.jpg"));
  EXPECT_TRUE(fs::exists(Watch("open.jpg")));
  EXPECT_NE(ReadFileBytes(root_.path() / "velmarin.journal").find(Watch("open.jpg").string()),
            std::string::npos);
}

// A still found by a listing is waited for until it stops changing; a second stop ends that
// wait too, and the still waits at the head of the line.
TEST_F(StopFinishing, AbandonEndsTheSettleWaitOfAListedStill) {
  completeness_.settle_time = std::chrono::hours(1);  // it never settles in this test
  completeness_.max_wait = std::chrono::hours(2);
  events_.SetWatchable(false);
  Start();
  WriteNewFile(Watch("listed.jpg"), "not a whole picture");
  events_.Release();  // the listing finds it, and the thread waits for it to settle
  ASSERT_TRUE(WaitFor([&] { return in_hand_.Get().has_value(); }, std::chrono::seconds(30)));
  RequestStop();  // a stop lets the wait go on
  Abandon();
  Join();
  EXPECT_TRUE(Transferred().empty());
  EXPECT_EQ(in_hand_.Left(), Watch("listed.jpg"));
  EXPECT_TRUE(memory_.arrivals.HasWaiting());
  EXPECT_NE(ReadFileBytes(root_.path() / "velmarin.journal").find(Watch("listed.jpg").string()),
            std::string::npos);
}

}  // namespace
}  // namespace velmarin::test
