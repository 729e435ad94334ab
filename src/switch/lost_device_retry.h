#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

namespace velmarin {

// When a switch device that stopped answering (unplugged) is tried again. It is given up for
// lost after kFailuresBeforeLoss failed reads in a row; it is then tried at the next read, and
// after each failed try again kFirstInterval later, the interval doubling up to
// kLongestInterval. Not locked: its owner's lock guards it.
class LostDeviceRetry {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kFailuresBeforeLoss = 3;
  static constexpr std::chrono::milliseconds kFirstInterval{500};
  static constexpr std::chrono::milliseconds kLongestInterval{4000};

  explicit LostDeviceRetry(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

  bool lost() const { return lost_; }
  // The device answered, came back or was opened afresh: counting starts again.
  void Reset() {
    failures_ = 0;
    lost_ = false;
  }
  // Counts a failed read; true for the one that gives the device up (close it, say so).
  bool NoteFailure() {
    if (lost_ || ++failures_ < kFailuresBeforeLoss) return false;
    lost_ = true;
    interval_ = kFirstInterval;
    next_try_ = now_();
    return true;
  }
  // Whether a lost device is to be tried now.
  bool TryDue() const { return now_() >= next_try_; }
  // A try found nothing: the next one waits longer.
  void TryFailed() {
    next_try_ = now_() + interval_;
    interval_ = std::min(interval_ * 2, kLongestInterval);
  }

 private:
  const std::function<Clock::time_point()> now_;
  int failures_ = 0;
  bool lost_ = false;
  Clock::time_point next_try_;
  std::chrono::milliseconds interval_ = kFirstInterval;
};

}  // namespace velmarin
