#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/locked_fields.h"
#include "platform/input_synthesizer.h"

namespace velmarin::test {

// Records synthesized input as text: "down 17", "up 17", "move 300,200", "left down",
// "left up". Flushes and preparations are counted, not recorded. Every call yields the thread
// first, so callers on two threads that do not serialise their sequences visibly interleave.
// Keys given as refused are neither recorded nor sent, as a key no keyboard has.
class RecordingInput final : public InputSynthesizer {
 public:
  explicit RecordingInput(bool available = true, std::set<int> refused_keys = {})
      : available_(available), refused_keys_(std::move(refused_keys)) {}

  bool available() override { return available_; }
  void Prepare() override {
    const std::lock_guard lock(mutex_);
    ++prepares_;
  }
  bool KeyDown(int virtual_key) override;
  bool KeyUp(int virtual_key) override;
  bool MoveTo(int x, int y) override;
  bool LeftButtonDown() override;
  bool LeftButtonUp() override;
  bool Flush() override;

  std::vector<std::string> events() const { return LockedGet(mutex_, events_); }
  int flushes() const { return LockedGet(mutex_, flushes_); }
  int prepares() const { return LockedGet(mutex_, prepares_); }

 private:
  bool Record(std::string event);

  const bool available_;
  const std::set<int> refused_keys_;
  mutable std::mutex mutex_;
  std::vector<std::string> events_;
  int flushes_ = 0;
  int prepares_ = 0;
};

}  // namespace velmarin::test
