#include "app/stop_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/signal_mask.h"

namespace velmarin::app {

StopSignals::StopSignals() {
  const sigset_t set = BlockStopSignals();
  fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

StopSignals::~StopSignals() {
  notifier_.reset();
  if (fd_ >= 0) close(fd_);
}

void StopSignals::Connect(std::function<void()> on_signal) {
  if (fd_ < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                   [fd = fd_, on_signal = std::move(on_signal)] {
                     signalfd_siginfo info;
                     while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                       on_signal();
                     }
                   });
}

}  // namespace velmarin::app
