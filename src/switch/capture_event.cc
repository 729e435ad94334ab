#include "switch/capture_event.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <string>

#include "base/scanf_reader.h"

namespace velmarin {
namespace {

constexpr int kVkShift = 16;
constexpr int kVkControl = 17;
constexpr int kVkAlt = 18;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ModifierHeld(std::string_view modifiers, std::size_t position) {
  return position < modifiers.size() && modifiers[position] == '1';
}

// One sequence at a time for the whole process: the switch thread and the event test may fire
// together, and a key stroke mixed into a click (or another stroke) would send a wrong command.
std::mutex& SequenceMutex() {
  static std::mutex mutex;
  return mutex;
}

void SendKeyStroke(InputSynthesizer& input, int key, std::string_view modifiers) {
  const bool ctrl = ModifierHeld(modifiers, 0);
  const bool alt = ModifierHeld(modifiers, 1);
  const bool shift = ModifierHeld(modifiers, 2);
  if (ctrl) input.KeyDown(kVkControl);
  if (alt) input.KeyDown(kVkAlt);
  if (shift) input.KeyDown(kVkShift);
  input.KeyDown(key);
  input.KeyUp(key);
  if (shift) input.KeyUp(kVkShift);
  if (alt) input.KeyUp(kVkAlt);
  if (ctrl) input.KeyUp(kVkControl);
}

void SendClick(InputSynthesizer& input, int x, int y) {
  input.MoveTo(x, y);
  input.LeftButtonDown();
  input.LeftButtonUp();
}

}  // namespace

int CaptureKeyCode(std::string_view key_code) {
  if (key_code.size() == 1) return static_cast<unsigned char>(key_code[0]);
  if (key_code.size() != 2) return 0;
  int value = 0;
  for (char c : key_code) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = value * 16 + digit;
  }
  return value & 0xFF;
}

bool FireCaptureEvent(const Settings& settings, InputSynthesizer& input, MessageSink* messages) {
  const int key = CaptureKeyCode(settings[SettingSlot::KeyCode]);
  std::optional<int> x, y;
  if (key == 0) {
    x = ScanDecimal(settings[SettingSlot::MouseX]);
    y = ScanDecimal(settings[SettingSlot::MouseY]);
    if (!x || !y) {
      if (messages != nullptr) {
        messages->ShowMessage("The click position (X \"" + settings[SettingSlot::MouseX] +
                              "\", Y \"" + settings[SettingSlot::MouseY] +
                              "\") is not a number; no click was sent.");
      }
      return false;
    }
  }

  std::lock_guard lock(SequenceMutex());
  if (!input.available()) return false;
  if (key == 0) {
    SendClick(input, *x, *y);
  } else {
    SendKeyStroke(input, key, settings[SettingSlot::Modifiers]);
  }
  input.Flush();
  return true;
}

bool MovePointerTo(InputSynthesizer& input, int x, int y) {
  std::lock_guard lock(SequenceMutex());
  if (!input.available()) return false;
  input.MoveTo(x, y);
  input.Flush();
  return true;
}

}  // namespace velmarin
