#include "control/monitoring_controller.h"

#include <utility>

namespace velmarin {

MonitoringController::MonitoringController(SharedState& state, WorkerBody switch_body,
                                           WorkerBody folder_body)
    : state_(state), switch_body_(std::move(switch_body)), folder_body_(std::move(folder_body)) {}

MonitoringController::~MonitoringController() { StopAndJoin(); }

void MonitoringController::Start() {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  state_.monitoring_active = true;
  Launch(switch_thread_, switch_body_);
  Launch(folder_thread_, folder_body_);
}

bool MonitoringController::StartIfStopped() {
  std::lock_guard lock(mutex_);
  if (closed_ || state_.monitoring_active) return false;
  state_.monitoring_active = true;
  Launch(switch_thread_, switch_body_);
  Launch(folder_thread_, folder_body_);
  return true;
}

void MonitoringController::Stop() {
  std::lock_guard lock(mutex_);
  state_.monitoring_active = false;
  switch_thread_.request_stop();
  folder_thread_.request_stop();
}

void MonitoringController::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  state_.monitoring_active = false;
  switch_thread_.request_stop();
  folder_thread_.request_stop();
}

void MonitoringController::StopAndJoin() {
  std::lock_guard lock(mutex_);
  state_.monitoring_active = false;
  switch_thread_.request_stop();
  folder_thread_.request_stop();
  if (switch_thread_.joinable()) switch_thread_.join();
  if (folder_thread_.joinable()) folder_thread_.join();
}

void MonitoringController::Launch(std::jthread& slot, const WorkerBody& body) {
  std::jthread previous = std::move(slot);
  previous.request_stop();
  ++running_;
  slot = std::jthread([this, previous = std::move(previous), &body](std::stop_token stop) mutable {
    // The earlier run may still be finishing an image or an event: wait for it here rather
    // than on the user-interface thread.
    if (previous.joinable()) previous.join();
    if (!stop.stop_requested()) body(stop);
    --running_;
  });
}

}  // namespace velmarin
