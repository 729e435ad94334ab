#include "platform/uinput_input.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cmath>

#include "platform/encoding.h"
#include "platform/virtual_key_evdev.h"

namespace velmarin {
namespace {

// A desktop pixel as a value of the pointer's axis over [first, first + length).
int AxisValue(int pixel, int first, int length) {
  if (length <= 1) return 0;
  const double scaled =
      static_cast<double>(pixel - first) * kPointerAxisMax / static_cast<double>(length - 1);
  return static_cast<int>(std::clamp(std::lround(scaled), 0L, static_cast<long>(kPointerAxisMax)));
}

}  // namespace

UinputInput::UinputInput(MessageSink& messages, KeyboardLayoutKeys layout, Parts parts)
    : messages_(messages),
      layout_(std::move(layout)),
      parts_(std::move(parts)),
      skipped_keys_(messages) {}

UinputInput::~UinputInput() = default;

void UinputInput::ReportOnce(bool* reported, const std::string& text) {
  if (*reported) return;
  *reported = true;
  messages_.ShowMessage(Utf8ToCp932Replacing(text));
}

bool UinputInput::EnsureDevicesLocked() {
  if (devices_) return true;
  std::string error;
  devices_ = parts_.create_devices(&error);
  if (!devices_) {
    ReportOnce(&unavailable_reported_, "Key strokes and clicks cannot be synthesized: " + error +
                                           ". The foot switch and the event test send nothing.");
    return false;
  }
  settled_at_ = parts_.now() + kSettleTime;
  return true;
}

bool UinputInput::available() {
  const std::lock_guard lock(mutex_);
  return EnsureDevicesLocked();
}

void UinputInput::SendLocked(UinputDevice device, std::initializer_list<EvdevEvent> events) {
  if (parts_.now() < settled_at_) parts_.sleep_until(settled_at_);
  bool written = true;
  for (const EvdevEvent& event : events) {
    written = written && devices_->Write(device, event.type, event.code, event.value);
  }
  if (!(written && devices_->Write(device, EV_SYN, SYN_REPORT, 0))) {
    ReportOnce(&write_failure_reported_,
               "The virtual keyboard or pointer refused an event; key strokes and clicks may "
               "not arrive.");
  }
}

void UinputInput::KeyLocked(UinputDevice device, int code, bool press) {
  int& holds = holds_[code];
  if (press) {
    if (holds++ > 0) return;
    SendLocked(device, {{EV_KEY, static_cast<unsigned>(code), 1}});
    last_press_at_ = parts_.now();
    return;
  }
  if (holds == 0 || --holds > 0) return;
  if (parts_.now() < last_press_at_ + kPressGap) parts_.sleep_until(last_press_at_ + kPressGap);
  SendLocked(device, {{EV_KEY, static_cast<unsigned>(code), 0}});
}

void UinputInput::KeyDown(int virtual_key) {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked()) return;
  if (const auto key = layout_.KeyFor(virtual_key)) {
    if (key->shift) KeyLocked(UinputDevice::kKeyboard, KEY_LEFTSHIFT, true);
    KeyLocked(UinputDevice::kKeyboard, key->evdev_key, true);
    return;
  }
  const int code = EvdevKeyForVirtualKey(virtual_key);
  if (code != 0) {
    KeyLocked(UinputDevice::kKeyboard, code, true);
    return;
  }
  skipped_keys_.Report(virtual_key, "stands for no key of a keyboard");
}

void UinputInput::KeyUp(int virtual_key) {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked()) return;
  if (const auto key = layout_.KeyFor(virtual_key)) {
    KeyLocked(UinputDevice::kKeyboard, key->evdev_key, false);
    if (key->shift) KeyLocked(UinputDevice::kKeyboard, KEY_LEFTSHIFT, false);
    return;
  }
  if (const int code = EvdevKeyForVirtualKey(virtual_key); code != 0) {
    KeyLocked(UinputDevice::kKeyboard, code, false);
  }
}

void UinputInput::MoveTo(int x, int y) {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked()) return;
  const std::optional<ScreenRect> desktop = BoundingBox(parts_.screens->Screens());
  position_unknown_ = !desktop;
  if (!desktop) {
    ReportOnce(&no_desktop_reported_,
               "The size of the desktop is unknown (no Wayland compositor or X display can be "
               "reached), so the pointer cannot be placed; clicks are not sent.");
    return;
  }
  const std::pair<int, int> position{AxisValue(x, desktop->x, desktop->width),
                                     AxisValue(y, desktop->y, desktop->height)};
  if (last_position_ == position) {
    // The kernel drops an absolute value equal to the last one: step aside first, so the
    // desktop sees a move and puts the pointer back where it was asked to be.
    const int aside = position.first < kPointerAxisMax ? position.first + 1 : position.first - 1;
    SendLocked(UinputDevice::kPointer, {{EV_ABS, ABS_X, aside}});
  }
  // Both axes in one report, so the pointer jumps straight to the point.
  SendLocked(UinputDevice::kPointer,
             {{EV_ABS, ABS_X, position.first}, {EV_ABS, ABS_Y, position.second}});
  last_position_ = position;
}

void UinputInput::LeftButtonDown() {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked() || position_unknown_) return;
  KeyLocked(UinputDevice::kPointer, BTN_LEFT, true);
}

void UinputInput::LeftButtonUp() {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked() || position_unknown_) return;
  KeyLocked(UinputDevice::kPointer, BTN_LEFT, false);
}

}  // namespace velmarin
