// Runs inside a small virtual machine whose kernel has uinput (see run_in_vm.sh): makes the
// program's two devices through the real /dev/uinput and reads their events back from the
// /dev/input/eventN nodes the kernel made. Prints one line per check; exits 0 when all hold.
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/c_handle.h"
#include "base/unique_fd.h"
#include "platform/uinput_devices.h"

namespace velmarin {
namespace {

int failures = 0;

void Check(bool holds, const std::string& what) {
  std::printf("%s: %s\n", holds ? "ok" : "FAILED", what.c_str());
  failures += holds ? 0 : 1;
}

struct Event {
  unsigned type;
  unsigned code;
  int value;
  bool operator==(const Event&) const = default;
};

// The events the node delivers until it has been quiet for a moment, SYN_REPORTs included.
std::vector<Event> ReadEvents(int fd) {
  std::vector<Event> events;
  pollfd ready{fd, POLLIN, 0};
  while (::poll(&ready, 1, 500) > 0) {
    input_event event{};
    if (::read(fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) break;
    events.push_back({event.type, event.code, event.value});
  }
  return events;
}

void Run() {
  std::string error;
  const auto devices = UinputDevices::Create(&error);
  Check(devices != nullptr, "both devices are made through /dev/uinput " + error);
  if (!devices) return;
  const std::string keyboard_node = devices->DeviceNode(UinputDevice::kKeyboard);
  const std::string pointer_node = devices->DeviceNode(UinputDevice::kPointer);
  Check(keyboard_node.starts_with("/dev/input/event"), "keyboard node " + keyboard_node);
  Check(pointer_node.starts_with("/dev/input/event"), "pointer node " + pointer_node);
  const UniqueFd keyboard_fd(::open(keyboard_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  const UniqueFd pointer_fd(::open(pointer_node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  Check(keyboard_fd.get() >= 0 && pointer_fd.get() >= 0, "both nodes open");
  if (keyboard_fd.get() < 0 || pointer_fd.get() < 0) return;

  // What the kernel made of the descriptions.
  libevdev* raw = nullptr;
  Check(libevdev_new_from_fd(pointer_fd.get(), &raw) == 0, "the pointer node describes itself");
  const CHandle<libevdev, libevdev_free> pointer(raw);
  Check(libevdev_get_abs_maximum(pointer.get(), ABS_X) == kPointerAxisMax &&
            libevdev_get_abs_maximum(pointer.get(), ABS_Y) == kPointerAxisMax,
        "the pointer's axes run to 32767");
  Check(!libevdev_has_property(pointer.get(), INPUT_PROP_DIRECT) &&
            !libevdev_has_event_code(pointer.get(), EV_KEY, BTN_TOUCH),
        "the pointer is no touch screen");

  // A key stroke with Shift, as the backend writes it.
  for (const Event& event : std::vector<Event>{{EV_KEY, KEY_LEFTSHIFT, 1},
                                               {EV_SYN, SYN_REPORT, 0},
                                               {EV_KEY, KEY_A, 1},
                                               {EV_SYN, SYN_REPORT, 0},
                                               {EV_KEY, KEY_A, 0},
                                               {EV_SYN, SYN_REPORT, 0},
                                               {EV_KEY, KEY_LEFTSHIFT, 0},
                                               {EV_SYN, SYN_REPORT, 0}}) {
    devices->Write(UinputDevice::kKeyboard, event.type, event.code, event.value);
  }
  const std::vector<Event> keys = ReadEvents(keyboard_fd.get());
  Check(keys == std::vector<Event>{{EV_KEY, KEY_LEFTSHIFT, 1},
                                   {EV_SYN, SYN_REPORT, 0},
                                   {EV_KEY, KEY_A, 1},
                                   {EV_SYN, SYN_REPORT, 0},
                                   {EV_KEY, KEY_A, 0},
                                   {EV_SYN, SYN_REPORT, 0},
                                   {EV_KEY, KEY_LEFTSHIFT, 0},
                                   {EV_SYN, SYN_REPORT, 0}},
        "the key stroke arrives as written (" + std::to_string(keys.size()) + " events)");

  // A click at one place, then a second click there: the kernel drops the repeated absolute
  // value, which is why the backend steps one unit aside first.
  const auto write_pointer = [&](const std::vector<Event>& events) {
    for (const Event& event : events) {
      devices->Write(UinputDevice::kPointer, event.type, event.code, event.value);
    }
  };
  write_pointer({{EV_ABS, ABS_X, 1000}, {EV_ABS, ABS_Y, 2000}, {EV_SYN, SYN_REPORT, 0}});
  write_pointer({{EV_KEY, BTN_LEFT, 1}, {EV_SYN, SYN_REPORT, 0}});
  write_pointer({{EV_KEY, BTN_LEFT, 0}, {EV_SYN, SYN_REPORT, 0}});
  const std::vector<Event> first = ReadEvents(pointer_fd.get());
  Check(first == std::vector<Event>{{EV_ABS, ABS_X, 1000},
                                    {EV_ABS, ABS_Y, 2000},
                                    {EV_SYN, SYN_REPORT, 0},
                                    {EV_KEY, BTN_LEFT, 1},
                                    {EV_SYN, SYN_REPORT, 0},
                                    {EV_KEY, BTN_LEFT, 0},
                                    {EV_SYN, SYN_REPORT, 0}},
        "the first click arrives at its place");
  write_pointer({{EV_ABS, ABS_X, 1000}, {EV_ABS, ABS_Y, 2000}, {EV_SYN, SYN_REPORT, 0}});
  const std::vector<Event> repeated = ReadEvents(pointer_fd.get());
  Check(repeated.empty(), "a repeated equal position is dropped by the kernel");
  write_pointer({{EV_ABS, ABS_X, 1001}, {EV_SYN, SYN_REPORT, 0}});
  write_pointer({{EV_ABS, ABS_X, 1000}, {EV_ABS, ABS_Y, 2000}, {EV_SYN, SYN_REPORT, 0}});
  const std::vector<Event> nudged = ReadEvents(pointer_fd.get());
  Check(nudged == std::vector<Event>{{EV_ABS, ABS_X, 1001},
                                     {EV_SYN, SYN_REPORT, 0},
                                     {EV_ABS, ABS_X, 1000},
                                     {EV_SYN, SYN_REPORT, 0}},
        "after one unit aside the place is sent again");
}

}  // namespace
}  // namespace velmarin

int main() {
  velmarin::Run();
  std::printf("%s\n", velmarin::failures == 0 ? "all checks hold" : "some checks failed");
  return velmarin::failures == 0 ? 0 : 1;
}
