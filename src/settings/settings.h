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

// NameFormat holds at most this many bytes: longer templates make names the paths cannot hold.
inline constexpr std::size_t kNameFormatMaxBytes = 99;
// The JPEG qualities a user may set (the label says 1-100, but 100 has always been refused).
inline constexpr int kMinJpegQuality = 1;
inline constexpr int kMaxJpegQuality = 99;
// KeyCode is one character or two hexadecimal digits; longer values are refused.
inline constexpr std::size_t kMaxKeyCodeCharacters = 2;

// The most bytes the value of `slot` may hold when a user sets it.
std::size_t SettingMaxBytes(SettingSlot slot);

// A whole decimal number with blanks around it allowed, as a number field takes it; nullopt
// for anything else and beyond the range of int.
std::optional<int> WholeNumberOf(std::string_view text);

// Why a value a user sets (in a dialog, or with --set) is refused. One check serves both, so
// neither stores what the other refuses.
enum class RefusedValue {
  kNone,
  kLineBreak,          // a CR, LF or NUL, which one line of the file cannot hold
  kTooLong,            // more bytes than SettingMaxBytes
  kNotAColor,          // a colour that is not six hexadecimal digits draws no stamp
  kEmptyNameFormat,    // writes every still over one hidden file
  kNotANumber,         // JpegQuality that is not a whole number
  kQualityOutOfRange,  // JpegQuality outside kMinJpegQuality..kMaxJpegQuality
  kKeyCodeTooLong,     // KeyCode of more than kMaxKeyCodeCharacters characters
};
RefusedValue CheckSettingValue(SettingSlot slot, const Cp932Text& value);

}  // namespace velmarin
