#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/message_sink.h"
#include "platform/input_synthesizer.h"
#include "platform/keyboard_layout.h"
#include "platform/screen_layout.h"
#include "platform/skipped_keys.h"
#include "platform/uinput_devices.h"

namespace velmarin {

// Synthesizes input through two kernel devices made with uinput, a keyboard and an absolute
// pointer, so it reaches every program on every desktop (Wayland or X11) as a real keyboard's
// and mouse's would. Letters and digits go to the keys that type them under the system's
// keyboard layout (with Shift where the layout needs it); other keys go to their own keys.
// Positions are desktop pixels (`ScreenLayout`'s), scaled over the bounding box of all screens,
// as compositors map an absolute pointer over their whole layout. Safe to use from several
// threads.
class UinputInput final : public InputSynthesizer {
 public:
  using Clock = std::chrono::steady_clock;
  // Compositors pick a new device up within about this time; earlier events would be lost.
  static constexpr std::chrono::milliseconds kSettleTime{1000};
  // Between a press and its release, so programs that poll the key state see it.
  static constexpr std::chrono::milliseconds kPressGap{15};

  // What the backend is made of: the real parts in the program, doubles in tests.
  struct Parts {
    // Creates the devices; nullptr with the reason when it cannot.
    std::function<std::unique_ptr<InputEventWriter>(std::string* error)> create_devices;
    // The desktop's screens, asked at every move.
    std::unique_ptr<ScreenLayout> screens;
    std::function<Clock::time_point()> now;
    std::function<void(Clock::time_point)> sleep_until;
  };

  UinputInput(MessageSink& messages, KeyboardLayoutKeys layout, Parts parts);
  ~UinputInput() override;
  UinputInput(const UinputInput&) = delete;
  UinputInput& operator=(const UinputInput&) = delete;

  // Creates the devices (once; kept until this goes). False, said once, when it cannot.
  bool available() override;
  void Prepare() override { available(); }
  bool KeyDown(int virtual_key) override;
  bool KeyUp(int virtual_key) override;
  bool MoveTo(int x, int y) override;
  bool LeftButtonDown() override;
  bool LeftButtonUp() override;
  bool Flush() override { return true; }

 private:
  // The *Locked members expect `mutex_` held.
  bool EnsureDevicesLocked();
  struct EvdevEvent {
    unsigned type;
    unsigned code;
    int value;
  };
  // Writes the events and one SYN_REPORT, not before the devices have settled. False when the
  // device refused one.
  bool SendLocked(UinputDevice device, std::initializer_list<EvdevEvent> events);
  // Presses or releases an evdev key, counting holds so a key held twice is sent once. False
  // when the device refused it or the key was not held.
  bool KeyLocked(UinputDevice device, int code, bool press);
  void ReportOnce(bool* reported, const OwnMessage& message);

  MessageSink& messages_;
  const KeyboardLayoutKeys layout_;
  const Parts parts_;
  std::mutex mutex_;
  std::unique_ptr<InputEventWriter> devices_;
  Clock::time_point settled_at_;
  Clock::time_point last_press_at_;
  std::map<int, int> holds_;                          // evdev key -> presses not yet released
  std::optional<std::pair<int, int>> last_position_;  // axis values of the last move
  bool position_unknown_ = false;  // the last move failed: no button is pressed blindly
  bool unavailable_reported_ = false;
  bool write_failure_reported_ = false;
  bool no_desktop_reported_ = false;
  SkippedKeys skipped_keys_;
};

// The backend on /dev/uinput, the layout of /etc/default/keyboard and the session's screens.
std::unique_ptr<UinputInput> MakeUinputInput(MessageSink& messages);

}  // namespace velmarin
