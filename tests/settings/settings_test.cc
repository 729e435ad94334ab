#include "settings/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"
#include "support/cp932_text_testing.h"

namespace velmarin {
namespace {

SettingSlot Slot(int i) { return static_cast<SettingSlot>(i); }

// A broken escape in the label table shows as bytes that are no code page 932 text.
TEST(SettingLabelTest, EveryLabelIsCodePage932TextEndingInAColon) {
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const std::string_view label = SettingLabel(Slot(i));
    EXPECT_TRUE(Cp932ToUtf8(Cp932Text(label)).has_value()) << "slot " << i;
    EXPECT_EQ(label.back(), ':') << "slot " << i;
    EXPECT_LE(label.size(), 51u) << "slot " << i;
  }
}

// The first and tenth lines of a new file, the longest label, and one that mixes ASCII into
// the Japanese; their lengths decide where the reading takes a value from.
TEST(SettingLabelTest, LabelsTheFileIsReadBy) {
  const auto cp932 = [](const char* utf8) { return Utf8ToCp932(utf8).value_or("?"); };
  EXPECT_EQ(SettingLabel(SettingSlot::SwitchDevice), cp932("使用するスイッチ:"));
  EXPECT_EQ(SettingLabel(SettingSlot::SwitchDevice).size(), 17u);
  EXPECT_EQ(SettingLabel(SettingSlot::RestAfterEventMs),
            cp932("イベント発生からスイッチチェック再開までの休止時間:"));
  EXPECT_EQ(SettingLabel(SettingSlot::RestAfterEventMs).size(), 51u);
  EXPECT_EQ(SettingLabel(SettingSlot::WatchFolder), cp932("監視フォルダ:"));
  EXPECT_EQ(SettingLabel(SettingSlot::EvacuateAtStartup),
            cp932("起動時に監視フォルダの画像をBkupFolderに退避:"));
  EXPECT_EQ(SettingLabel(SettingSlot::KeyCode), "Key Event:");
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

// A station without a settings file waits for no switch and files each still under its year.
TEST(DefaultSettingsTest, AFreshStationHasNoSwitchAndAYearFolderInTheName) {
  EXPECT_EQ(DefaultSettingValue(SettingSlot::SwitchDevice, Cp932Text("/x")), "NONE");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::NameFormat, Cp932Text("/x")), "$y\\$i06_$y$M$d_$r03");
}

// Every default is a value a user could set: it fits its slot and its line in the file, and
// the checks of the dialogs and --set accept it.
TEST(DefaultSettingsTest, EveryDefaultIsAValueTheChecksAccept) {
  const Settings defaults = DefaultSettings(Cp932Text("/opt/cap"));
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const std::string& value = defaults.slots[i].bytes();
    EXPECT_EQ(value, DefaultSettingValue(Slot(i), Cp932Text("/opt/cap"))) << "slot " << i;
    EXPECT_EQ(FitSlotValue(Cp932Text(value)), value) << "slot " << i;
    EXPECT_EQ(value.find_first_of("\r\n"), std::string::npos) << "slot " << i;
    EXPECT_TRUE(Cp932ToUtf8(Cp932Text(value)).has_value()) << "slot " << i;
    EXPECT_EQ(CheckSettingValue(Slot(i), Cp932Text(value)), RefusedValue::kNone) << "slot " << i;
  }
}

TEST(DefaultSettingsTest, FontIsMsMinchoInCodePage932) {
  const Cp932Text font = DefaultSettingValue(SettingSlot::TextFont, Cp932Text("/x"));
  // Two full-width letters, a half-width blank, two kanji.
  EXPECT_EQ(font, "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9");
  EXPECT_EQ(Cp932ToUtf8(Cp932Text(font)), std::optional<std::string>("ＭＳ 明朝"));
}

TEST(DefaultSettingsTest, FoldersComeFromTheProgramFolder) {
  EXPECT_EQ(DefaultSettingValue(SettingSlot::WatchFolder, Cp932Text("/home/cap")), "/home/cap");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, Cp932Text("/home/cap")),
            "/home/cap/hozon");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, Cp932Text("/")), "/hozon");
  const Cp932Text japanese = *Utf8ToCp932("/home/撮影");
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, Cp932Text(japanese)),
            japanese + "/hozon");
}

TEST(FitSlotValueTest, CutsAtNulAndAtTheSlotSize) {
  EXPECT_EQ(FitSlotValue(Cp932Text(std::string("ab\0cd", 5))), "ab");
  EXPECT_EQ(FitSlotValue(Cp932Text(std::string(600, 'x'))), std::string(499, 'x'));
}

TEST(FitSlotValueTest, LongProgramFolderNeverOverrunsASlot) {
  const std::string long_dir = "/" + std::string(600, 'd');
  EXPECT_EQ(DefaultSettingValue(SettingSlot::WatchFolder, Cp932Text(long_dir)).size(),
            kSlotMaxBytes);
  EXPECT_EQ(DefaultSettingValue(SettingSlot::TransferFolder, Cp932Text(long_dir)).size(),
            kSlotMaxBytes);
}

TEST(CheckSettingValueTest, RefusesColoursThatAreNotSixHexDigitsAndAnEmptyNameFormat) {
  for (const SettingSlot slot : {SettingSlot::TextColor, SettingSlot::TextBackColor}) {
    for (const char* good : {"FFFFFF", "00ff7A", "646464"}) {
      EXPECT_EQ(CheckSettingValue(slot, Cp932Text(good)), RefusedValue::kNone) << good;
    }
    for (const char* bad : {"GGGGGG", "FFFFF", "FFFFFFF", "", " FFFFF", "0xFFFF"}) {
      EXPECT_EQ(CheckSettingValue(slot, Cp932Text(bad)), RefusedValue::kNotAColor) << bad;
    }
  }
  EXPECT_EQ(CheckSettingValue(SettingSlot::NameFormat, Cp932Text("")),
            RefusedValue::kEmptyNameFormat);
  EXPECT_EQ(CheckSettingValue(SettingSlot::NameFormat, Cp932Text("$i")), RefusedValue::kNone);
  EXPECT_EQ(CheckSettingValue(SettingSlot::KeyCode, Cp932Text("")), RefusedValue::kNone);
}

// What the naming dialog's OK refuses for the quality, --set refuses too: one check.
TEST(CheckSettingValueTest, QualityIsAWholeNumberFrom1To99) {
  for (const char* good : {"1", "99", "80", " 80 ", "+5", "095"}) {
    EXPECT_EQ(CheckSettingValue(SettingSlot::JpegQuality, Cp932Text(good)), RefusedValue::kNone)
        << good;
  }
  for (const char* bad : {"0", "100", "-5"}) {
    EXPECT_EQ(CheckSettingValue(SettingSlot::JpegQuality, Cp932Text(bad)),
              RefusedValue::kQualityOutOfRange)
        << bad;
  }
  for (const char* bad : {"abc", "", "80abc", "8 0", "0x50", "８０", "2147483648000"}) {
    EXPECT_EQ(CheckSettingValue(SettingSlot::JpegQuality, Cp932Text(bad)),
              RefusedValue::kNotANumber)
        << bad;
  }
}

TEST(CheckSettingValueTest, KeyCodeHasAtMostTwoCharactersAndEveryValueFitsItsLine) {
  EXPECT_EQ(CheckSettingValue(SettingSlot::KeyCode, Cp932Text("0D")), RefusedValue::kNone);
  // One full-width character is two bytes but one character.
  EXPECT_EQ(CheckSettingValue(SettingSlot::KeyCode, Cp932Text("\x82\x60")), RefusedValue::kNone);
  EXPECT_EQ(CheckSettingValue(SettingSlot::KeyCode, Cp932Text("0D0")),
            RefusedValue::kKeyCodeTooLong);
  EXPECT_EQ(CheckSettingValue(SettingSlot::MouseX, Cp932Text("1\n2")), RefusedValue::kLineBreak);
  EXPECT_EQ(CheckSettingValue(SettingSlot::NameFormat, Cp932Text(std::string(99, 'n'))),
            RefusedValue::kNone);
  EXPECT_EQ(CheckSettingValue(SettingSlot::NameFormat, Cp932Text(std::string(100, 'n'))),
            RefusedValue::kTooLong);
  EXPECT_EQ(CheckSettingValue(SettingSlot::TextLines, Cp932Text(std::string(499, 'l'))),
            RefusedValue::kNone);
  EXPECT_EQ(CheckSettingValue(SettingSlot::TextLines, Cp932Text(std::string(500, 'l'))),
            RefusedValue::kTooLong);
}

}  // namespace
}  // namespace velmarin
