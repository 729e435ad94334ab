#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"

namespace velmarin {

// The 19 slots of the configuration, in file order.
enum class SettingSlot : int {
  SwitchDevice = 0,
  TriggerEdge,
  PollIntervalMs,
  EventDelayMs,
  RestAfterEventMs,
  KeyCode,
  Modifiers,
  MouseX,
  MouseY,
  WatchFolder,
  TransferFolder,
  NameFormat,
  SourceRange,
  TextLines,
  TextFont,
  JpegQuality,
  TextColor,
  TextBackColor,
  EvacuateAtStartup,
};

inline constexpr int kSettingSlotCount = 19;
// A slot is a 500-byte buffer with its terminating NUL, so a value holds at most 499 bytes.
inline constexpr std::size_t kSlotMaxBytes = 499;

// Every value is code page 932 text, byte for byte as in "velmarin.ini"; consumers parse
// the slots they need when they use them.
struct Settings {
  std::array<Cp932Text, kSettingSlotCount> slots;

  const Cp932Text& operator[](SettingSlot slot) const { return slots[static_cast<int>(slot)]; }
  Cp932Text& operator[](SettingSlot slot) { return slots[static_cast<int>(slot)]; }
  bool operator==(const Settings&) const = default;
};

// The slot's label in the file (code page 932, ends with an ASCII colon).
std::string_view SettingLabel(SettingSlot slot);

// The slot's name as the command line shows and takes it ("SwitchDevice", "WatchFolder", ...).
std::string_view SettingName(SettingSlot slot);
// The slot of a name, compared exactly; nullopt when no slot has it.
std::optional<SettingSlot> SettingSlotByName(std::string_view name);

// The default of a slot. WatchFolder defaults to the program folder and TransferFolder to
// the program folder followed by "/hozon"; `program_dir` is that folder in code page 932.
Cp932Text DefaultSettingValue(SettingSlot slot, const Cp932Text& program_dir);
Settings DefaultSettings(const Cp932Text& program_dir);

// `value` as a slot can hold it: up to its first NUL and at most kSlotMaxBytes bytes, cut
// without splitting a two-byte character.
Cp932Text FitSlotValue(const Cp932Text& value);

// Values that would silently do nothing, refused where a user sets them (the naming dialog,
// --set): a colour that is not six hexadecimal digits draws no stamp, and an empty NameFormat
// writes every still over one hidden file.
enum class RefusedValue { kNone, kNotAColor, kEmptyNameFormat };
RefusedValue CheckSettingValue(SettingSlot slot, const Cp932Text& value);

}  // namespace velmarin
