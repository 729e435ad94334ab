#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "control/shared_state.h"

namespace velmarin {

// Owns the switch thread and the folder thread. Starting while the threads of an earlier run
// are still finishing their current pass never lets two of a kind run: each new thread first
// joins its predecessor, so the caller (the user-interface thread) never waits for them.
class MonitoringController {
 public:
  using WorkerBody = std::function<void(std::stop_token)>;

  MonitoringController(SharedState& state, WorkerBody switch_body, WorkerBody folder_body);
  ~MonitoringController();
  MonitoringController(const MonitoringController&) = delete;
  MonitoringController& operator=(const MonitoringController&) = delete;

  // Sets `monitoring_active` and starts the switch thread, then the folder thread; nothing
  // once closed.
  void Start();
  // Starts only when monitoring is off and not closed; true when it started.
  bool StartIfStopped();
  // Clears `monitoring_active`; the threads leave at their next check. Does not wait.
  void Stop();
  // Stop for good, at the beginning of a shutdown: no start, from whatever command, timer or
  // thread, starts monitoring again.
  void Close();
  bool closed() const { return closed_; }
  // Stops and waits until both threads have ended (shutdown, before devices are closed).
  void StopAndJoin();
  // Whether a worker thread is still running (finishing its pass after a stop, say).
  bool WorkersRunning() const { return running_.load() > 0; }

 private:
  void Launch(std::jthread& slot, const WorkerBody& body);

  SharedState& state_;
  const WorkerBody switch_body_;
  const WorkerBody folder_body_;
  std::mutex mutex_;  // start, stop and join come from the user-interface thread and signals
  std::jthread switch_thread_;
  std::jthread folder_thread_;
  std::atomic<int> running_{0};
  std::atomic<bool> closed_{false};
};

}  // namespace velmarin
