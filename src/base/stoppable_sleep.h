#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace velmarin {

// Sleeps for `duration` unless a stop is requested first. Returns false when stopped, so a
// worker's pause never delays shutdown.
inline bool SleepUnlessStopped(std::stop_token stop, std::chrono::milliseconds duration) {
  if (duration.count() <= 0) return !stop.stop_requested();
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, duration, [] { return false; });
  return !stop.stop_requested();
}

}  // namespace velmarin
