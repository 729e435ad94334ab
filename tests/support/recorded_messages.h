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
  // The English wording among the texts, the Japanese one apart.
  void ShowOwnMessage(const OwnMessage& message) override {
    const std::lock_guard lock(mutex_);
    texts_.push_back(message.english);
    japanese_.push_back(message.japanese);
  }
  std::vector<std::string> texts() const {
    const std::lock_guard lock(mutex_);
    return texts_;
  }
  std::vector<std::string> japanese_texts() const {
    const std::lock_guard lock(mutex_);
    return japanese_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
  std::vector<std::string> japanese_;
};

}  // namespace velmarin::test
