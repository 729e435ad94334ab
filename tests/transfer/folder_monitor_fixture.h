#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/stepped_folder_events.h"
#include "support/temp_dir.h"
#include "transfer/folder_fakes.h"
#include "transfer/folder_monitor.h"

namespace velmarin::test {

// Runs the folder thread on a temporary program folder with a watch folder "watch" and a
// transfer folder "hozon", its file events given by the test. The thread is held at every
// wait for events; RunCycle lets it take what has arrived (and transfer every still waiting)
// and waits until it waits again.
class FolderMonitorFixture : public ::testing::Test {
 protected:
  FolderMonitorFixture();

  void SetPipeline(TransferPipeline& pipeline) { active_pipeline_ = &pipeline; }
  void SetSlot(SettingSlot slot, std::string value);
  void SetCaptureId(std::string id);

  void Start();
  // Monitoring stopped and started again: by a settings command (the thread goes on where it
  // stopped) or by "監視停止" and "IDで開始" (`start_over`: the stills present are left).
  void Restart(bool start_over);
  void RunCycle();
  void RunCycles(int count);
  // Moves the folder thread's clock on (the back-off of stills that wait).
  void AdvanceClock(std::chrono::milliseconds by) { clock_offset_ms_ += by.count(); }
  // Moves the clock past the completeness bound and lets the thread look: a failure held
  // while its still's writer might come back to it is said.
  void PassCompletenessBound() {
    AdvanceClock(completeness_.max_wait);
    RunCycle();
  }
  // Asks the thread to stop without waiting; Join waits until it has ended.
  void RequestStop() { thread_.request_stop(); }
  // The second stop: the finishing of a stopped run is abandoned.
  void Abandon() { abandon_.request_stop(); }
  void Join();
  // Waits until the thread has come to its next holding wait (one it did not come to yet).
  void WaitForNextWait();

  // Writes an image into the watch folder, newer than every one before, and gives the events
  // of its creation and of its writer's close.
  void AddImage(const std::string& name, std::string_view bytes = "picture bytes");
  void Event(FolderEvent::Kind kind, const std::string& name) { events_.Push({kind, name}); }
  // AddImage, then RunCycle: the next look finds the image.
  void AddImageAndRunCycle(const std::string& name, std::string_view bytes = "picture bytes");
  std::filesystem::path Watch(const std::string& name) const { return watch_ / name; }
  std::filesystem::path Backup(const std::string& name) const {
    return root_.path() / "bkup" / name;
  }
  std::vector<std::pair<int, std::filesystem::path>> Transferred() const;
  // What the thread reported, in order: "transferred SOURCE as TARGET with ID",
  // "failed SOURCE: TEXT", "waiting N" (file names only).
  std::vector<std::string> Reports() const;

  TempDir root_;
  const std::filesystem::path watch_;
  const std::filesystem::path transfer_;
  std::atomic<std::int32_t> image_count_{0};
  LastErrorText errors_;
  RecordedMessages messages_;
  FakePipeline fake_;
  SteppedFolderEvents events_;
  FolderMonitorMemory memory_;
  ImageInHand in_hand_;
  // Quick checks for tests whose files are complete from the start.
  CompletenessLimits completeness_{std::chrono::milliseconds(2), std::chrono::milliseconds(10),
                                   std::chrono::seconds(5)};

 private:
  std::atomic<std::int64_t> clock_offset_ms_{0};
  std::stop_source abandon_;
  mutable std::mutex mutex_;
  Settings settings_;
  Cp932Text capture_id_{"123456"};
  std::vector<std::pair<int, std::filesystem::path>> transferred_;
  std::vector<std::string> reports_;
  void Launch();

  TransferPipeline* active_pipeline_ = &fake_;
  std::optional<FolderMonitorContext> context_;
  int cycles_ = 0;       // holding waits the thread came to
  std::jthread thread_;  // last: stopped and joined before anything it uses goes away
};

}  // namespace velmarin::test
