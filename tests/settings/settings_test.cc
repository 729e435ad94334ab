#include "settings/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"

namespace velmarin {
namespace {

SettingSlot Slot(int i) { return static_cast<SettingSlot>(i); }

// The labels as a reader sees them; converted through iconv, independently of the table.
const char* const kReadableLabels[kSettingSlotCount] = {
    "使用するスイッチ:",
    "スイッチチェックのタイミング(ON/OFF):",
    "スイッチチェックのループ時間:",
    "スイッチ変化確認からイベント発生までの待ち時間:",
    "イベント発生からスイッチチェック再開までの休止時間:",
    "Key Event:",
    "Ctrl/Alt/Shift:",
    "マウスイベント位置X:",
    "マウスイベント位置Y:",
    "監視フォルダ:",
    "転送フォルダ:",
    "転送画像ファイル名フォーマット:",
    "転送画像へ取り込む元画像の範囲:",
    "転送画像への書き込み文字列:",
    "転送画像への書き込み文字フォント:",
    "転送画像のJpg画質(1-100):",
    "転送画像への書き込み文字の色RGB:",
    "転送画像への書き込み文字の背景色RGB:",
    "起動時に監視フォルダの画像をBkupFolderに退避:",
};

TEST(SettingLabelTest, LabelsAreTheCodePage932FormOfTheReadableTexts) {
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const auto expected = Utf8ToCp932(kReadableLabels[i]);
    ASSERT_TRUE(expected.has_value()) << i;
    EXPECT_EQ(SettingLabel(Slot(i)), *expected) << "slot " << i;
    EXPECT_EQ(SettingLabel(Slot(i)).back(), ':') << "slot " << i;
  }
}

TEST(SettingLabelTest, ByteLengthsAndExactBytes) {
  EXPECT_EQ(SettingLabel(SettingSlot::SwitchDevice).size(), 17u);
  EXPECT_EQ(SettingLabel(SettingSlot::KeyCode).size(), 10u);
  EXPECT_EQ(SettingLabel(SettingSlot::RestAfterEventMs).size(), 51u);
  for (int i = 0; i < kSettingSlotCount; ++i) {
    EXPECT_LE(SettingLabel(Slot(i)).size(), 51u) << "slot " << i;
  }
  // 使 用 す る ス イ ッ チ :
  EXPECT_EQ(SettingLabel(SettingSlot::SwitchDevice),
            "\x8E\x67\x97\x70\x82\xB7\x82\xE9\x83\x58\x83\x43\x83\x62\x83\x60:");
  // 監 視 フ ォ ル ダ :
  EXPECT_EQ(SettingLabel(SettingSlot::WatchFolder),
            "\x8A\xC4\x8E\x8B\x83\x74\x83\x48\x83\x8B\x83\x5F:");
  EXPECT_EQ(SettingLabel(SettingSlot::Modifiers), "Ctrl/Alt/Shift:");
}

// A label found inside another line would set a second slot from that line.
TEST(SettingLabelTest, NoLabelContainsAnother) {
  for (int i = 0; i < kSettingSlotCount; ++i) {
    for (int j = 0; j < kSettingSlotCount; ++j) {
      if (i == j) continue;
      EXPECT_EQ(SettingLabel(Slot(i)).find(SettingLabel(Slot(j))), std::string_view::npos)
          << "label " << j << " inside label " << i;
    }
  }
}

TEST(SettingNameTest, EveryNameFindsItsSlotAndNothingElseMatches) {
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const auto slot = static_cast<SettingSlot>(i);
    EXPECT_EQ(SettingSlotByName(SettingName(slot)), slot) << SettingName(slot);
  }
  EXPECT_EQ(SettingName(SettingSlot::WatchFolder), "WatchFolder");
  EXPECT_EQ(SettingName(SettingSlot::EvacuateAtStartup), "EvacuateAtStartup");
  EXPECT_EQ(SettingSlotByName("watchfolder"), std::nullopt);
  EXPECT_EQ(SettingSlotByName("WatchFolder "), std::nullopt);
  EXPECT_EQ(SettingSlotByName(""), std::nullopt);
}

TEST(DefaultSettingsTest, FixedDefaults) {
  const Settings defaults = DefaultSettings("/opt/cap");
  EXPECT_EQ(defaults[SettingSlot::SwitchDevice], "NONE");
  EXPECT_EQ(defaults[SettingSlot::TriggerEdge], "ON");
  EXPECT_EQ(defaults[SettingSlot::PollIntervalMs], "10");
  EXPECT_EQ(defaults[SettingSlot::EventDelayMs], "0");
  EXPECT_EQ(defaults[SettingSlot::RestAfterEventMs], "500");
  EXPECT_EQ(defaults[SettingSlot::KeyCode], "");
  EXPECT_EQ(defaults[SettingSlot::Modifiers], "000");
  EXPECT_EQ(defaults[SettingSlot::MouseX], "300");
  EXPECT_EQ(defaults[SettingSlot::MouseY], "200");
  EXPECT_EQ(defaults[SettingSlot::NameFormat], "$y\\$i06_$y$M$d_$r03");
  EXPECT_EQ(defaults[SettingSlot::SourceRange], "20,23,-20,-23");
  EXPECT_EQ(defaults[SettingSlot::TextLines],
            "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s,150,5,-22,Pellandor TEL:000-000-0000");
  EXPECT_EQ(defaults[SettingSlot::JpegQuality], "95");
  EXPECT_EQ(defaults[SettingSlot::TextColor], "FFFFFF");
  EXPECT_EQ(defaults[SettingSlot::TextBackColor], "646464");
  EXPECT_EQ(defaults[SettingSlot::EvacuateAtStartup], "0");
  for (int i = 0; i < kSettingSlotCount; ++i) {
    EXPECT_EQ(defaults.slots[i], DefaultSettingValue(Slot(i), "/opt/cap")) << "slot " << i;
  }
}

TEST(DefaultSettingsTest, FontIsMsMinchoInCodePage932) {
  const std::string font = DefaultSettingValue(SettingSlot::TextFont, "/x");
  // Two full-width letters, a half-width blank, two kanji.
  EXPECT_EQ(font, "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9");
  EXPECT_EQ(Cp932ToUtf8(font), std::optional<std::string>("ＭＳ 明朝"));
}

TEST(DefaultSettingsTest, FoldersComeFromTheProgramFolder) {
  EXPECT_EQ(DefaultSettingValue(SettingSlot::WatchFolder, "/home/cap"), "/home/cap");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, "/home/cap"), "/home/cap/hozon");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, "/"), "/hozon");
  const std::string japanese = *Utf8ToCp932("/home/撮影");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, japanese), japanese + "/hozon");
}

TEST(FitSlotValueTest, CutsAtNulAndAtTheSlotSize) {
  EXPECT_EQ(FitSlotValue(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(FitSlotValue(std::string(600, 'x')), std::string(499, 'x'));
}

TEST(FitSlotValueTest, LongProgramFolderNeverOverrunsASlot) {
  const std::string long_dir = "/" + std::string(600, 'd');
  EXPECT_EQ(DefaultSettingValue(SettingSlot::WatchFolder, long_dir).size(), kSlotMaxBytes);
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, long_dir).size(), kSlotMaxBytes);
}

TEST(CheckSettingValueTest, RefusesColoursThatAreNotSixHexDigitsAndAnEmptyNameFormat) {
  for (const SettingSlot slot : {SettingSlot::TextColor, SettingSlot::TextBackColor}) {
    for (const char* good : {"FFFFFF", "00ff7A", "646464"}) {
      EXPECT_EQ(CheckSettingValue(slot, good), RefusedValue::kNone) << good;
    }
    for (const char* bad : {"GGGGGG", "FFFFF", "FFFFFFF", "", " FFFFF", "0xFFFF"}) {
      EXPECT_EQ(CheckSettingValue(slot, bad), RefusedValue::kNotAColor) << bad;
    }
  }
  EXPECT_EQ(CheckSettingValue(SettingSlot::NameFormat, ""), RefusedValue::kEmptyNameFormat);
  EXPECT_EQ(CheckSettingValue(SettingSlot::NameFormat, "$i"), RefusedValue::kNone);
  EXPECT_EQ(CheckSettingValue(SettingSlot::KeyCode, ""), RefusedValue::kNone);
}

}  // namespace
}  // namespace velmarin
