#include "platform/uinput_input.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cmath>

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

void UinputInput::ReportOnce(bool* reported, const OwnMessage& message) {
  if (*reported) return;
  *reported = true;
  messages_.ShowOwnMessage(message);
}

bool UinputInput::EnsureDevicesLocked() {
  if (devices_) return true;
  std::string error;
  devices_ = parts_.create_devices(&error);
  if (!devices_) {
    ReportOnce(&unavailable_reported_, {"Key strokes and clicks cannot be synthesized: " + error +
                                            ". The foot switch and the event test send nothing.",
                                        "キーストロークとクリックを送れません（" + error +
                                            "）。フットスイッチとイベント確認は何も送りません。"});
    return false;
  }
  settled_at_ = parts_.now() + kSettleTime;
  return true;
}

bool UinputInput::available() {
  const std::lock_guard lock(mutex_);
  return EnsureDevicesLocked();
}

bool UinputInput::SendLocked(UinputDevice device, std::initializer_list<EvdevEvent> events) {
  if (parts_.now() < settled_at_) parts_.sleep_until(settled_at_);
  bool written = true;
  for (const EvdevEvent& event : events) {
    written = written && devices_->Write(device, event.type, event.code, event.value);
  }
  if (written && devices_->Write(device, EV_SYN, SYN_REPORT, 0)) return true;
  ReportOnce(&write_failure_reported_,
             {"The virtual keyboard or pointer refused an event; key strokes and clicks may "
              "not arrive.",
              "仮想キーボードか仮想ポインタがイベントを受け付けませんでした。キーストロークや"
              "クリックが届かないことがあります。"});
  return false;
}

bool UinputInput::KeyLocked(UinputDevice device, int code, bool press) {
  int& holds = holds_[code];
  if (press) {
    if (holds++ > 0) return true;
    const bool sent = SendLocked(device, {{EV_KEY, static_cast<unsigned>(code), 1}});
    last_press_at_ = parts_.now();
    return sent;
  }
  if (holds == 0) return false;
  if (--holds > 0) return true;
  if (parts_.now() < last_press_at_ + kPressGap) parts_.sleep_until(last_press_at_ + kPressGap);
  return SendLocked(device, {{EV_KEY, static_cast<unsigned>(code), 0}});
}

bool UinputInput::KeyDown(int virtual_key) {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked()) return false;
  if (const auto key = layout_.KeyFor(virtual_key)) {
    if (key->shift) KeyLocked(UinputDevice::kKeyboard, KEY_LEFTSHIFT, true);
    return KeyLocked(UinputDevice::kKeyboard, key->evdev_key, true);
  }
  const int code = EvdevKeyForVirtualKey(virtual_key);
  if (code != 0) return KeyLocked(UinputDevice::kKeyboard, code, true);
  skipped_keys_.Report(virtual_key, "stands for no key of a keyboard",
                       "キーボードのどのキーにも当たらない");
  return false;
}

bool UinputInput::KeyUp(int virtual_key) {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked()) return false;
  if (const auto key = layout_.KeyFor(virtual_key)) {
    const bool sent = KeyLocked(UinputDevice::kKeyboard, key->evdev_key, false);
    if (key->shift) KeyLocked(UinputDevice::kKeyboard, KEY_LEFTSHIFT, false);
    return sent;
  }
  const int code = EvdevKeyForVirtualKey(virtual_key);
  return code != 0 && KeyLocked(UinputDevice::kKeyboard, code, false);
}

bool UinputInput::MoveTo(int x, int y) {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked()) return false;
  const std::optional<ScreenRect> desktop = BoundingBox(parts_.screens->Screens());
  position_unknown_ = !desktop;
  if (!desktop) {
    ReportOnce(&no_desktop_reported_,
               {"The size of the desktop is unknown (no Wayland compositor or X display can be "
                "reached), so the pointer cannot be placed; clicks are not sent.",
                "デスクトップの大きさが分からない（Wayland コンポジタにも X ディスプレイにも接続"
                "できない）ため、ポインタを置けません。クリックは送りません。"});
    return false;
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
  const bool sent = SendLocked(UinputDevice::kPointer,
                               {{EV_ABS, ABS_X, position.first}, {EV_ABS, ABS_Y, position.second}});
  last_position_ = position;
  return sent;
}

bool UinputInput::LeftButtonDown() {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked() || position_unknown_) return false;
  return KeyLocked(UinputDevice::kPointer, BTN_LEFT, true);
}

bool UinputInput::LeftButtonUp() {
  const std::lock_guard lock(mutex_);
  if (!EnsureDevicesLocked() || position_unknown_) return false;
  return KeyLocked(UinputDevice::kPointer, BTN_LEFT, false);
}

}  // namespace velmarin
