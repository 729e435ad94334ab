#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/message_sink.h"

namespace velmarin::test {

// Keeps every message shown, from any thread.
class RecordedMessages final : public MessageSink {
 public:
  void ShowMessage(const Cp932Text& text) override {
    const std::lock_guard lock(mutex_);
    texts_.push_back(text.bytes());
  }
  std::vector<std::string> texts() const {
    const std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

}  // namespace velmarin::test
