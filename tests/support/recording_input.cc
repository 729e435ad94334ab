#include "support/recording_input.h"

#include <thread>

namespace velmarin::test {

bool RecordingInput::Record(std::string event) {
  std::this_thread::yield();
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
  return true;
}

bool RecordingInput::KeyDown(int virtual_key) {
  return !refused_keys_.contains(virtual_key) && Record("down " + std::to_string(virtual_key));
}

bool RecordingInput::KeyUp(int virtual_key) {
  return !refused_keys_.contains(virtual_key) && Record("up " + std::to_string(virtual_key));
}

bool RecordingInput::MoveTo(int x, int y) {
  return Record("move " + std::to_string(x) + "," + std::to_string(y));
}

bool RecordingInput::LeftButtonDown() { return Record("left down"); }

bool RecordingInput::LeftButtonUp() { return Record("left up"); }

bool RecordingInput::Flush() {
  std::lock_guard lock(mutex_);
  ++flushes_;
  return true;
}

}  // namespace velmarin::test
