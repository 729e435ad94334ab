#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmarin {

// The keyboard layout the system configures (XKBMODEL, XKBLAYOUT, XKBVARIANT, XKBOPTIONS).
struct KeyboardLayoutNames {
  std::string model;
  std::string layout = "us";
  std::string variant;
  std::string options;
};

// Reads a file in the form of /etc/default/keyboard (shell assignments, values optionally
// quoted). A missing file, or one without XKBLAYOUT, gives the "us" layout.
KeyboardLayoutNames ParseKeyboardLayoutNames(std::string_view text);
KeyboardLayoutNames ReadKeyboardLayoutNames(
    const std::filesystem::path& file = "/etc/default/keyboard");

// The evdev key that types a character under a layout, and whether Shift must be held.
struct LayoutKey {
  int evdev_key = 0;
  bool shift = false;
};

// Where the letters and digits lie under one layout, compiled once through libxkbcommon.
class KeyboardLayoutKeys {
 public:
  // No layout: every lookup nullopt, so the US positions are used.
  KeyboardLayoutKeys() = default;
  // An empty result (every lookup nullopt) when the layout cannot be compiled.
  explicit KeyboardLayoutKeys(const KeyboardLayoutNames& names);

  bool compiled() const { return compiled_; }
  // The key for a virtual-key letter (0x41..0x5A, the lower-case letter) or digit
  // (0x30..0x39); nullopt for other codes or when the layout has no such character.
  std::optional<LayoutKey> KeyFor(int virtual_key) const {
    if (virtual_key < kFirstCode || virtual_key > kLastCode) return std::nullopt;
    const LayoutKey& key = keys_[virtual_key - kFirstCode];
    if (key.evdev_key == 0) return std::nullopt;
    return key;
  }

 private:
  static constexpr int kFirstCode = 0x30;  // "0"
  static constexpr int kLastCode = 0x5A;   // "Z"
  bool compiled_ = false;
  // Indexed by virtual-key code from kFirstCode; evdev_key 0 where the layout has no key (and
  // for the codes between the digits and the letters).
  LayoutKey keys_[kLastCode - kFirstCode + 1] = {};
};

}  // namespace velmarin
