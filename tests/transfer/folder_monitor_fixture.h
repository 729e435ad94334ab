#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "transfer/folder_fakes.h"
#include "transfer/folder_monitor.h"

namespace velmarin::test {

// Runs the folder thread on a temporary program folder with a watch folder "watch" and a
// transfer folder "hozon". The thread is held at every pause; RunCycle lets it do one more
// scan (and the image it finds) and waits until it pauses again.
class FolderMonitorFixture : public ::testing::Test {
 protected:
  FolderMonitorFixture();

  void SetPipeline(TransferPipeline& pipeline) { active_pipeline_ = &pipeline; }
  void SetSlot(SettingSlot slot, std::string value);
  void SetCaptureId(std::string id);

  void Start();
  void RunCycle();
  void RunCycles(int count);
  // Asks the thread to stop without waiting; Join waits until it has ended.
  void RequestStop() { thread_.request_stop(); }
  void Join();

  // Writes an image into the watch folder, newer than every one before.
  void AddImage(const std::string& name, std::string_view bytes = "picture bytes");
  // AddImage, then RunCycle: the next scan finds the image.
  void AddImageAndRunCycle(const std::string& name, std::string_view bytes = "picture bytes");
  std::filesystem::path Watch(const std::string& name) const { return watch_ / name; }
  std::filesystem::path Backup(const std::string& name) const {
    return root_.path() / "bkup" / name;
  }
  std::vector<std::pair<int, std::filesystem::path>> Transferred() const;

  TempDir root_;
  const std::filesystem::path watch_;
  const std::filesystem::path transfer_;
  std::atomic<std::int32_t> image_count_{0};
  LastErrorText errors_;
  RecordedMessages messages_;
  FakePipeline fake_;
  CycleGate gate_;
  // Quick checks for tests whose files are complete from the start.
  CompletenessLimits completeness_{std::chrono::milliseconds(2), std::chrono::milliseconds(10),
                                   std::chrono::seconds(5)};

 private:
  mutable std::mutex mutex_;
  Settings settings_;
  std::string capture_id_ = "123456";
  std::vector<std::pair<int, std::filesystem::path>> transferred_;
  TransferPipeline* active_pipeline_ = &fake_;
  std::optional<FolderMonitorContext> context_;
  int cycles_ = 0;
  std::jthread thread_;  // last: stopped and joined before anything it uses goes away
};

}  // namespace velmarin::test
