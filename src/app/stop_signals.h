#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace velmarin::app {

// SIGINT and SIGTERM (Ctrl+C, logout, a service manager) as events of the user-interface
// thread. Construct it before any thread starts: the signals are blocked for the whole
// process and read from a signalfd, so no worker is ever interrupted.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // `on_signal` runs on the user-interface thread for each signal (needs the application).
  void Connect(std::function<void()> on_signal);

 private:
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace velmarin::app
