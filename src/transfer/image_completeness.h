#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <stop_token>

#include "base/stoppable_sleep.h"

namespace velmarin {

// How long to wait for the capture program to finish writing an image.
struct CompletenessLimits {
  std::chrono::milliseconds check_interval{100};
  // A file whose size and modification time have stayed the same this long is finished.
  std::chrono::milliseconds settle_time{1000};
  // Only a file that keeps changing is waited for this long.
  std::chrono::milliseconds max_wait{10'000};
  // The clock the limits are measured on, and the pause between two looks (false when
  // stopped first); tests step both.
  std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
  std::function<bool(std::stop_token, std::chrono::milliseconds)> pause = SleepUnlessStopped;
};

enum class Completeness {
  kComplete,  // a clean JPEG ending with its end marker, or a file that stopped changing
  kTimedOut,  // still changing when `max_wait` was reached
  kVanished,  // no regular file at the path any more (deleted, or renamed away)
  kStopped,   // a stop was requested
};

// True when `file` is a JPEG that ends with its end-of-image marker (trailing zero bytes
// aside) and decodes without a single warning: such a file is whole, and is taken at once.
bool IsCleanWholeJpeg(const std::filesystem::path& file);

// Waits until `file` is finished: at once for a clean whole JPEG; otherwise once its size
// and modification time have not changed for `settle_time` (counting the time since its
// last modification before the first look), whatever its content. The length of a BMP
// proves nothing, as a writer may size the file first and fill it afterwards.
Completeness WaitUntilComplete(const std::filesystem::path& file, std::stop_token stop,
                               const CompletenessLimits& limits);

}  // namespace velmarin
