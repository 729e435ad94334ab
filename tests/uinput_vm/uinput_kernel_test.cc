// Runs inside a small virtual machine whose kernel has uinput (see run_in_vm.sh): the uinput
// backend makes its two devices through the real /dev/uinput, and what it sends is read back
// from the /dev/input/eventN nodes the kernel made. Prints one line per check; exits 0 when
// all hold.
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/c_handle.h"
#include "base/message_sink.h"
#include "base/unique_fd.h"
#include "platform/uinput_devices.h"
#include "platform/uinput_input.h"
#include "support/fixed_screen_layout.h"

namespace velmarin {
namespace {

int failures = 0;

void Check(bool holds, const std::string& what) {
  std::printf("%s: %s\n", holds ? "ok" : "FAILED", what.c_str());
  failures += holds ? 0 : 1;
}

class PrintedMessages final : public MessageSink {
 public:
  void ShowMessage(const Cp932Text& text) override {
    Check(false, "no message expected: " + text.bytes());
  }
  void ShowOwnMessage(const OwnMessage& message) override {
    Check(false, "no message expected: " + message.english);
  }
};

struct Event {
  unsigned type;
  unsigned code;
  int value;
  timeval time{};
  bool operator==(const Event& other) const {
    return type == other.type && code == other.code && value == other.value;
  }
};

double Milliseconds(const timeval& from, const timeval& to) {
  return static_cast<double>(to.tv_sec - from.tv_sec) * 1000.0 +
         static_cast<double>(to.tv_usec - from.tv_usec) / 1000.0;
}

// The events the node delivers until it has been quiet for a moment, SYN_REPORTs included.
std::vector<Event> ReadEvents(int fd) {
  std::vector<Event> events;
  pollfd ready{fd, POLLIN, 0};
  while (::poll(&ready, 1, 300) > 0) {
    input_event event{};
    if (::read(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) break;
    events.push_back({event.type, event.code, event.value, event.time});
  }
  return events;
}

void Run() {
  PrintedMessages messages;
  const UinputDevices* devices = nullptr;
  UinputInput::Parts parts{
      [&](std::string* error) -> std::unique_ptr<InputEventWriter> {
        auto made = UinputDevices::Create(error);
        devices = made.get();
        return made;
      },
      std::make_unique<test::FixedScreenLayout>(std::vector<ScreenRect>{{0, 0, 1920, 1080}}),
      [] { return UinputInput::Clock::now(); },
      [](UinputInput::Clock::time_point when) { std::this_thread::sleep_until(when); },
  };
  UinputInput input(messages, KeyboardLayoutKeys(), std::move(parts));
  Check(input.available() && devices != nullptr, "both devices are made through /dev/uinput");
  if (devices == nullptr) return;
  const std::string keyboard_node = devices->DeviceNode(UinputDevice::kKeyboard);
  const std::string pointer_node = devices->DeviceNode(UinputDevice::kPointer);
  const UniqueFd keyboard_fd(::open(keyboard_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  const UniqueFd pointer_fd(::open(pointer_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  Check(keyboard_fd.get() >= 0 && pointer_fd.get() >= 0,
        "the nodes " + keyboard_node + " and " + pointer_node + " open");
  if (keyboard_fd.get() < 0 || pointer_fd.get() < 0) return;

  libevdev* raw = nullptr;
  Check(libevdev_new_from_fd(pointer_fd.get(), &raw) == 0, "the pointer node describes itself");
  const CHandle<libevdev, libevdev_free> pointer(raw);
  Check(libevdev_get_abs_maximum(pointer.get(), ABS_X) == kPointerAxisMax &&
            libevdev_get_abs_maximum(pointer.get(), ABS_Y) == kPointerAxisMax &&
            !libevdev_has_property(pointer.get(), INPUT_PROP_DIRECT) &&
            !libevdev_has_event_code(pointer.get(), EV_KEY, BTN_TOUCH),
        "the kernel sees an absolute pointer over 0..32767, no touch screen");

  // Shift+A, as FireCaptureEvent sends it.
  input.KeyDown(0x10);
  input.KeyDown(0x41);
  input.KeyUp(0x41);
  input.KeyUp(0x10);
  const std::vector<Event> keys = ReadEvents(keyboard_fd.get());
  Check(keys == std::vector<Event>{{EV_KEY, KEY_LEFTSHIFT, 1},
                                   {EV_SYN, SYN_REPORT, 0},
                                   {EV_KEY, KEY_A, 1},
                                   {EV_SYN, SYN_REPORT, 0},
                                   {EV_KEY, KEY_A, 0},
                                   {EV_SYN, SYN_REPORT, 0},
                                   {EV_KEY, KEY_LEFTSHIFT, 0},
                                   {EV_SYN, SYN_REPORT, 0}},
        "the key stroke arrives whole (" + std::to_string(keys.size()) + " events)");
  if (keys.size() == 8) {
    Check(Milliseconds(keys[2].time, keys[4].time) >= 14.0, "the key is held for the gap");
  }

  // Two clicks at the bottom right corner: the second steps aside first, and the kernel drops
  // the unchanged Y.
  for (int click = 0; click < 2; ++click) {
    input.MoveTo(1919, 1079);
    input.LeftButtonDown();
    input.LeftButtonUp();
  }
  const std::vector<Event> clicks = ReadEvents(pointer_fd.get());
  Check(clicks == std::vector<Event>{{EV_ABS, ABS_X, 32767},
                                     {EV_ABS, ABS_Y, 32767},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, BTN_LEFT, 1},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, BTN_LEFT, 0},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_ABS, ABS_X, 32766},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_ABS, ABS_X, 32767},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, BTN_LEFT, 1},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_KEY, BTN_LEFT, 0},
                                     {EV_SYN, SYN_REPORT, 0}},
        "both clicks arrive at the corner (" + std::to_string(clicks.size()) + " events)");
}

}  // namespace
}  // namespace velmarin

int main() {
  velmarin::Run();
  std::printf("%s\n", velmarin::failures == 0 ? "all checks hold" : "some checks failed");
  return velmarin::failures == 0 ? 0 : 1;
}
