#pragma once

#include <mutex>
#include <vector>

#include "platform/screen_layout.h"

namespace velmarin::test {

// Screens that the test sets; any thread may set and read them.
class FixedScreenLayout final : public ScreenLayout {
 public:
  explicit FixedScreenLayout(std::vector<ScreenRect> screens) : screens_(std::move(screens)) {}

  void Set(std::vector<ScreenRect> screens) {
    const std::lock_guard lock(mutex_);
    screens_ = std::move(screens);
  }
  std::vector<ScreenRect> Screens() override {
    const std::lock_guard lock(mutex_);
    return screens_;
  }

 private:
  std::mutex mutex_;
  std::vector<ScreenRect> screens_;
};

}  // namespace velmarin::test
