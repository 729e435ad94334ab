#include <chrono>
#include <string>
#include <vector>

#include "transfer/folder_monitor_fixture.h"

namespace velmarin::test {
namespace {

using FolderThreadReports = FolderMonitorFixture;

// Besides the texts it says, the folder thread reports what became of each still: a still
// given up with its failure, the stills that wait behind a full disk and the moment they
// have all gone, each transferred still with its source, its name and the ID it carries.
TEST_F(FolderThreadReports, NameTheSourceTargetAndIdOfEachStillTheFailuresAndTheWaiting) {
  fake_.unreadable = 1;
  Start();
  AddImageAndRunCycle("bad.jpg");
  // Its writer may still come back to it: it is given up once it has not changed for a while.
  AdvanceClock(std::chrono::minutes(1));
  RunCycle();
  fake_.disk_full = true;
  AddImageAndRunCycle("a.jpg");
  SetCaptureId("777");
  AddImageAndRunCycle("b.jpg");
  fake_.disk_full = false;
  AdvanceClock(std::chrono::seconds(2));
  RunCycle();

  const auto transferred = Transferred();
  ASSERT_EQ(transferred.size(), 2u);
  EXPECT_EQ(
      Reports(),
      (std::vector<std::string>{
          "failed bad.jpg: fopen_error! ",
          "waiting 2",
          "transferred a.jpg as " + transferred[0].second.filename().string() + " with 123456",
          "transferred b.jpg as " + transferred[1].second.filename().string() + " with 777",
          "waiting 0",
      }));
}

}  // namespace
}  // namespace velmarin::test
