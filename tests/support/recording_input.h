#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "base/locked_fields.h"
#include "platform/input_synthesizer.h"

namespace velmarin::test {

// Records synthesized input as text: "down 17", "up 17", "move 300,200", "left down",
// "left up". Flushes and preparations are counted, not recorded. Every call yields the thread
// first, so callers on two threads that do not serialise their sequences visibly interleave.
class RecordingInput final : public InputSynthesizer {
 public:
  explicit RecordingInput(bool available = true) : available_(available) {}

  bool available() override { return available_; }
  void Prepare() override {
    const std::lock_guard lock(mutex_);
    ++prepares_;
  }
  void KeyDown(int virtual_key) override;
  void KeyUp(int virtual_key) override;
  void MoveTo(int x, int y) override;
  void LeftButtonDown() override;
  void LeftButtonUp() override;
  void Flush() override;

  std::vector<std::string> events() const { return LockedGet(mutex_, events_); }
  int flushes() const { return LockedGet(mutex_, flushes_); }
  int prepares() const { return LockedGet(mutex_, prepares_); }

 private:
  void Record(std::string event);

  const bool available_;
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  int flushes_ = 0;
  int prepares_ = 0;
};

}  // namespace velmarin::test
