#pragma once

#include <chrono>
#include <functional>
#include <stop_token>
#include <utility>

#include "transfer/image_completeness.h"

namespace velmarin::test {

// A clock for the completeness wait that moves only while the wait pauses, by the pause's
// length: the limits are reached in as many looks as they take, whatever the machine's load.
// `at_pause` runs at every pause, as the writer that works while the wait looks away. Used by
// one waiting thread at a time.
class SteppedCompleteness {
 public:
  using Clock = std::chrono::steady_clock;

  // `limits` on this clock.
  CompletenessLimits On(CompletenessLimits limits, std::function<void()> at_pause = {}) {
    limits.clock = [this] { return now_; };
    limits.pause = [this, at_pause = std::move(at_pause)](std::stop_token stop,
                                                          std::chrono::milliseconds duration) {
      if (at_pause) at_pause();
      now_ += duration;
      ++pauses_;
      return !stop.stop_requested();
    };
    return limits;
  }
  Clock::duration Elapsed() const { return now_ - start_; }
  int pauses() const { return pauses_; }

 private:
  const Clock::time_point start_ = Clock::now();
  Clock::time_point now_ = start_;
  int pauses_ = 0;
};

}  // namespace velmarin::test
