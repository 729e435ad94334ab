#include "support/recording_input.h"

#include <thread>

namespace velmarin::test {

void RecordingInput::Record(std::string event) {
  std::this_thread::yield();
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
}

void RecordingInput::KeyDown(int virtual_key) { Record("down " + std::to_string(virtual_key)); }

void RecordingInput::KeyUp(int virtual_key) { Record("up " + std::to_string(virtual_key)); }

void RecordingInput::MoveTo(int x, int y) {
  Record("move " + std::to_string(x) + "," + std::to_string(y));
}

void RecordingInput::LeftButtonDown() { Record("left down"); }

void RecordingInput::LeftButtonUp() { Record("left up"); }

void RecordingInput::Flush() {
  std::lock_guard lock(mutex_);
  ++flushes_;
}

}  // namespace velmarin::test
