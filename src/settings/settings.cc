#include "settings/settings.h"

#include <algorithm>
#include <charconv>

#include "base/cp932_search.h"
#include "base/scanf_reader.h"

namespace velmarin {
namespace {

// The labels and defaults are code page 932 bytes, exactly as they stand in "velmarin.ini";
// the readable text follows each entry.
// clang-format off
constexpr std::array<std::string_view, kSettingSlotCount> kLabels = {
    "\x8Eg\x97p\x82\xB7\x82\xE9\x83X\x83" "C\x83" "b\x83`:",  // 使用するスイッチ:
    "\x83X\x83" "C\x83" "b\x83`\x83`\x83" "F\x83" "b\x83N\x82\xCC\x83^\x83" "C\x83~\x83\x93\x83O(ON/OFF):",  // スイッチチェックのタイミング(ON/OFF):
    "\x83X\x83" "C\x83" "b\x83`\x83`\x83" "F\x83" "b\x83N\x82\xCC\x83\x8B\x81[\x83v\x8E\x9E\x8A\xD4:",  // スイッチチェックのループ時間:
    "\x83X\x83" "C\x83" "b\x83`\x95\xCF\x89\xBB\x8Am\x94" "F\x82\xA9\x82\xE7\x83" "C\x83x\x83\x93\x83g\x94\xAD\x90\xB6\x82\xDC\x82\xC5\x82\xCC\x91\xD2\x82\xBF\x8E\x9E\x8A\xD4:",  // スイッチ変化確認からイベント発生までの待ち時間:
    "\x83" "C\x83x\x83\x93\x83g\x94\xAD\x90\xB6\x82\xA9\x82\xE7\x83X\x83" "C\x83" "b\x83`\x83`\x83" "F\x83" "b\x83N\x8D\xC4\x8AJ\x82\xDC\x82\xC5\x82\xCC\x8Bx\x8E~\x8E\x9E\x8A\xD4:",  // イベント発生からスイッチチェック再開までの休止時間:
    "Key Event:",
    "Ctrl/Alt/Shift:",
    "\x83}\x83" "E\x83X\x83" "C\x83x\x83\x93\x83g\x88\xCA\x92uX:",  // マウスイベント位置X:
    "\x83}\x83" "E\x83X\x83" "C\x83x\x83\x93\x83g\x88\xCA\x92uY:",  // マウスイベント位置Y:
    "\x8A\xC4\x8E\x8B\x83t\x83H\x83\x8B\x83_:",  // 監視フォルダ:
    "\x93]\x91\x97\x83t\x83H\x83\x8B\x83_:",  // 転送フォルダ:
    "\x93]\x91\x97\x89\xE6\x91\x9C\x83t\x83@\x83" "C\x83\x8B\x96\xBC\x83t\x83H\x81[\x83}\x83" "b\x83g:",  // 転送画像ファイル名フォーマット:
    "\x93]\x91\x97\x89\xE6\x91\x9C\x82\xD6\x8E\xE6\x82\xE8\x8D\x9E\x82\xDE\x8C\xB3\x89\xE6\x91\x9C\x82\xCC\x94\xCD\x88\xCD:",  // 転送画像へ取り込む元画像の範囲:
    "\x93]\x91\x97\x89\xE6\x91\x9C\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x95\xB6\x8E\x9A\x97\xF1:",  // 転送画像への書き込み文字列:
    "\x93]\x91\x97\x89\xE6\x91\x9C\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x95\xB6\x8E\x9A\x83t\x83H\x83\x93\x83g:",  // 転送画像への書き込み文字フォント:
    "\x93]\x91\x97\x89\xE6\x91\x9C\x82\xCCJpg\x89\xE6\x8E\xBF(1-100):",  // 転送画像のJpg画質(1-100):
    "\x93]\x91\x97\x89\xE6\x91\x9C\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x95\xB6\x8E\x9A\x82\xCC\x90" "FRGB:",  // 転送画像への書き込み文字の色RGB:
    "\x93]\x91\x97\x89\xE6\x91\x9C\x82\xD6\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x95\xB6\x8E\x9A\x82\xCC\x94w\x8Ci\x90" "FRGB:",  // 転送画像への書き込み文字の背景色RGB:
    "\x8BN\x93\xAE\x8E\x9E\x82\xC9\x8A\xC4\x8E\x8B\x83t\x83H\x83\x8B\x83_\x82\xCC\x89\xE6\x91\x9C\x82\xF0" "BkupFolder\x82\xC9\x91\xDE\x94\xF0:",  // 起動時に監視フォルダの画像をBkupFolderに退避:
};

// WatchFolder and TransferFolder are built from the program folder and have no entry here.
constexpr std::array<std::string_view, kSettingSlotCount> kDefaults = {
    "NONE",
    "ON",
    "10",
    "0",
    "500",
    "",
    "000",
    "300",
    "200",
    "",
    "",
    "$y\\$i06_$y$M$d_$r03",
    "20,23,-20,-23",
    "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s,150,5,-22,Pellandor TEL:000-000-0000",
    "\x82l\x82r \x96\xBE\x92\xA9",  // ＭＳ 明朝
    "95",
    "FFFFFF",
    "646464",
    "0",
};
// clang-format on

constexpr std::array<std::string_view, kSettingSlotCount> kNames = {
    "SwitchDevice",     "TriggerEdge",   "PollIntervalMs",    "EventDelayMs",
    "RestAfterEventMs", "KeyCode",       "Modifiers",         "MouseX",
    "MouseY",           "WatchFolder",   "TransferFolder",    "NameFormat",
    "SourceRange",      "TextLines",     "TextFont",          "JpegQuality",
    "TextColor",        "TextBackColor", "EvacuateAtStartup",
};

constexpr std::string_view kTransferSubfolder = "hozon";

}  // namespace

std::string_view SettingLabel(SettingSlot slot) { return kLabels[static_cast<int>(slot)]; }

std::string_view SettingName(SettingSlot slot) { return kNames[static_cast<int>(slot)]; }

std::optional<SettingSlot> SettingSlotByName(std::string_view name) {
  for (int i = 0; i < kSettingSlotCount; ++i) {
    if (kNames[i] == name) return static_cast<SettingSlot>(i);
  }
  return std::nullopt;
}

Cp932Text DefaultSettingValue(SettingSlot slot, const Cp932Text& program_dir) {
  switch (slot) {
    case SettingSlot::WatchFolder:
      return FitSlotValue(program_dir);
    case SettingSlot::TransferFolder: {
      std::string folder(program_dir.bytes());
      if (folder.empty() || folder.back() != '/') folder += '/';
      folder += kTransferSubfolder;
      return FitSlotValue(Cp932Text(std::move(folder)));
    }
    default:
      return Cp932Text(kDefaults[static_cast<int>(slot)]);
  }
}

Settings DefaultSettings(const Cp932Text& program_dir) {
  Settings settings;
  for (int i = 0; i < kSettingSlotCount; ++i) {
    settings.slots[i] = DefaultSettingValue(static_cast<SettingSlot>(i), program_dir);
  }
  return settings;
}

Cp932Text FitSlotValue(const Cp932Text& text) {
  const std::string_view value = text.view();
  return Cp932Text(CutCp932(value.substr(0, value.find('\0')), kSlotMaxBytes));
}

std::size_t SettingMaxBytes(SettingSlot slot) {
  return slot == SettingSlot::NameFormat ? kNameFormatMaxBytes : kSlotMaxBytes;
}

std::optional<int> WholeNumberOf(std::string_view text) {
  while (!text.empty() && IsScanfSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsScanfSpace(text.back())) text.remove_suffix(1);
  if (text.starts_with('+')) text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

RefusedValue CheckSettingValue(SettingSlot slot, const Cp932Text& text) {
  const std::string_view value = text.view();
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return RefusedValue::kLineBreak;
  }
  if (value.size() > SettingMaxBytes(slot)) return RefusedValue::kTooLong;
  switch (slot) {
    case SettingSlot::TextColor:
    case SettingSlot::TextBackColor: {
      const bool six_hex_digits =
          value.size() == 6 && std::all_of(value.begin(), value.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
          });
      return six_hex_digits ? RefusedValue::kNone : RefusedValue::kNotAColor;
    }
    case SettingSlot::NameFormat:
      return value.empty() ? RefusedValue::kEmptyNameFormat : RefusedValue::kNone;
    case SettingSlot::JpegQuality: {
      const auto quality = WholeNumberOf(value);
      if (!quality) return RefusedValue::kNotANumber;
      return *quality < kMinJpegQuality || *quality > kMaxJpegQuality
                 ? RefusedValue::kQualityOutOfRange
                 : RefusedValue::kNone;
    }
    case SettingSlot::KeyCode: {
      std::size_t characters = 0;
      for (std::size_t pos = 0; pos < value.size(); pos += Cp932CharLength(value, pos)) {
        ++characters;
      }
      return characters > kMaxKeyCodeCharacters ? RefusedValue::kKeyCodeTooLong
                                                : RefusedValue::kNone;
    }
    default:
      return RefusedValue::kNone;
  }
}

}  // namespace velmarin
