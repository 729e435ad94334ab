#include "switch/capture_event.h"

#include <array>
#include <charconv>
#include <mutex>
#include <string>
#include <vector>

#include "base/scanf_reader.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

// The keys of the Modifiers flags, in flag order: Ctrl, Alt, Shift.
constexpr std::array<int, 3> kModifierKeys = {17, 18, 16};

// One sequence at a time for the whole process: the switch thread and the event test may fire
// together, and a key stroke mixed into a click (or another stroke) would send a wrong command.
std::mutex& SequenceMutex() {
  static std::mutex mutex;
  return mutex;
}

// The modifiers held are pressed in the order of their flags, then the key; all are released
// in the reverse order. True when the key itself went down and up.
bool SendKeyStroke(InputSynthesizer& input, int key, std::string_view modifiers) {
  std::vector<int> keys;
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    if (i < modifiers.size() && modifiers[i] == '1') keys.push_back(kModifierKeys[i]);
  }
  for (const int held : keys) input.KeyDown(held);
  const bool pressed = input.KeyDown(key);
  const bool released = input.KeyUp(key);
  for (auto held = keys.rbegin(); held != keys.rend(); ++held) input.KeyUp(*held);
  return pressed && released;
}

// True when the pointer was placed and the button went down and up there.
bool SendClick(InputSynthesizer& input, int x, int y) {
  if (!input.MoveTo(x, y)) return false;
  const bool pressed = input.LeftButtonDown();
  const bool released = input.LeftButtonUp();
  return pressed && released;
}

}  // namespace

int CaptureKeyCode(std::string_view key_code) {
  if (key_code.size() == 1) return static_cast<unsigned char>(key_code[0]);
  if (key_code.size() != 2) return 0;
  unsigned value = 0;  // stays 0 when the first byte is no hexadecimal digit
  std::from_chars(key_code.data(), key_code.data() + 2, value, 16);
  return static_cast<int>(value);
}

bool FireCaptureEvent(const Settings& settings, InputSynthesizer& input, MessageSink* messages) {
  const int key = CaptureKeyCode(settings[SettingSlot::KeyCode].view());
  std::optional<int> x, y;
  if (key == 0) {
    x = ScanDecimal(settings[SettingSlot::MouseX].view());
    y = ScanDecimal(settings[SettingSlot::MouseY].view());
    if (!x || !y) {
      if (messages != nullptr) {
        const std::string mouse_x = Cp932ToUtf8Replacing(settings[SettingSlot::MouseX]);
        const std::string mouse_y = Cp932ToUtf8Replacing(settings[SettingSlot::MouseY]);
        messages->ShowOwnMessage({"The click position (X \"" + mouse_x + "\", Y \"" + mouse_y +
                                      "\") is not a number; no click was sent.",
                                  "クリック位置（X「" + mouse_x + "」、Y「" + mouse_y +
                                      "」）が数ではないため、クリックを送りませんでした。"});
      }
      return false;
    }
  }

  std::lock_guard lock(SequenceMutex());
  if (!input.available()) return false;
  const bool sent = key == 0 ? SendClick(input, *x, *y)
                             : SendKeyStroke(input, key, settings[SettingSlot::Modifiers].view());
  const bool delivered = input.Flush();
  return sent && delivered;
}

bool MovePointerTo(InputSynthesizer& input, int x, int y) {
  std::lock_guard lock(SequenceMutex());
  if (!input.available()) return false;
  const bool moved = input.MoveTo(x, y);
  const bool delivered = input.Flush();
  return moved && delivered;
}

}  // namespace velmarin
