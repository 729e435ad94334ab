#pragma once

#include <chrono>
#include <filesystem>
#include <stop_token>

namespace velmarin {

// How long to wait for the capture program to finish writing an image.
struct CompletenessLimits {
  std::chrono::milliseconds check_interval{100};
  int stable_checks = 3;  // consecutive checks that must see the same size
  std::chrono::milliseconds max_wait{10'000};
};

// True when the content of `file` is whole, judged by what it starts with: a JPEG decodes
// to its end-of-image marker without a warning (data after the marker aside); a BMP is at
// least as long as its headers say its pixel data reaches. Other content cannot be judged
// and counts as whole when it is not empty.
bool ImageLooksComplete(const std::filesystem::path& file);

// True at once when the content of `file` shows it whole: a JPEG as above whose last bytes
// are its end marker (trailing zero bytes aside), or a BMP as above. Otherwise
// waits until the size of `file` has stayed the same over `stable_checks` checks and its
// content looks complete. False when that is not reached within `max_wait`, when the file
// disappears, or when a stop is requested.
bool WaitUntilComplete(const std::filesystem::path& file, std::stop_token stop,
                       const CompletenessLimits& limits);

}  // namespace velmarin
