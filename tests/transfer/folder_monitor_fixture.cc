#include "transfer/folder_monitor_fixture.h"

namespace velmarin::test {

namespace fs = std::filesystem;

FolderMonitorFixture::FolderMonitorFixture()
    : watch_(root_.path() / "watch"), transfer_(root_.path() / "hozon"), fake_(transfer_) {
  fs::create_directories(watch_);
  settings_ = DefaultSettings(Cp932Text(root_.path().string()));
  settings_[SettingSlot::WatchFolder] = Cp932Text(watch_.string());
  settings_[SettingSlot::TransferFolder] = Cp932Text(transfer_.string());
}

void FolderMonitorFixture::SetSlot(SettingSlot slot, std::string value) {
  std::lock_guard lock(mutex_);
  settings_[slot] = Cp932Text(std::move(value));
}

void FolderMonitorFixture::SetCaptureId(std::string id) {
  std::lock_guard lock(mutex_);
  capture_id_ = Cp932Text(std::move(id));
}

void FolderMonitorFixture::Start() {
  FolderMonitorTiming timing;
  timing.completeness = completeness_;
  const auto started = std::chrono::steady_clock::now();
  timing.clock = [this, started] {
    return started + std::chrono::milliseconds(clock_offset_ms_.load());
  };
  context_.emplace(FolderMonitorContext{
      [this] {
        std::lock_guard lock(mutex_);
        return settings_;
      },
      [this] {
        std::lock_guard lock(mutex_);
        return capture_id_;
      },
      ProgramDir{root_.path(), Cp932Text(root_.path().string())},
      events_,
      memory_,
      image_count_,
      errors_,
      messages_,
      *active_pipeline_,
      [this](const TransferredStill& still) {
        std::lock_guard lock(mutex_);
        transferred_.emplace_back(still.count, still.target);
        reports_.push_back("transferred " + still.source.filename().string() + " as " +
                           still.target.filename().string() + " with " + still.capture_id.bytes());
      },
      timing,
      &in_hand_,
      {},
      {},
      abandon_.get_token(),
      {},
  });
  context_->on_failed = [this](const fs::path& source) {
    std::lock_guard lock(mutex_);
    reports_.push_back("failed " + source.filename().string() + ": " + errors_.Get().bytes());
  };
  context_->on_waiting = [this](std::size_t waiting) {
    std::lock_guard lock(mutex_);
    reports_.push_back("waiting " + std::to_string(waiting));
  };
  Launch();
}

void FolderMonitorFixture::Restart(bool start_over) {
  thread_.request_stop();
  Join();
  if (start_over) memory_.start_over = true;
  Launch();
}

void FolderMonitorFixture::Launch() {
  thread_ = std::jthread([this](std::stop_token stop) { RunFolderMonitor(stop, *context_); });
  ++cycles_;
  ASSERT_TRUE(events_.WaitForWaits(cycles_));
}

void FolderMonitorFixture::RunCycle() {
  events_.Release();
  WaitForNextWait();
}

void FolderMonitorFixture::WaitForNextWait() {
  ++cycles_;
  ASSERT_TRUE(events_.WaitForWaits(cycles_));
}

void FolderMonitorFixture::RunCycles(int count) {
  for (int i = 0; i < count; ++i) RunCycle();
}

void FolderMonitorFixture::Join() {
  if (thread_.joinable()) thread_.join();
}

void FolderMonitorFixture::AddImage(const std::string& name, std::string_view bytes) {
  WriteNewFile(watch_ / name, bytes);
  Event(FolderEvent::Kind::kCreated, name);
  Event(FolderEvent::Kind::kClosedAfterWrite, name);
}

void FolderMonitorFixture::AddImageAndRunCycle(const std::string& name, std::string_view bytes) {
  AddImage(name, bytes);
  RunCycle();
}

std::vector<std::string> FolderMonitorFixture::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

std::vector<std::pair<int, fs::path>> FolderMonitorFixture::Transferred() const {
  std::lock_guard lock(mutex_);
  return transferred_;
}

}  // namespace velmarin::test
