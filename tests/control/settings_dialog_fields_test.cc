#include "control/settings_dialog_fields.h"

#include <gtest/gtest.h>

namespace velmarin {
namespace {

Settings Defaults() { return DefaultSettings(Cp932Text("/station")); }

TEST(SwitchEventFieldsTest, ModifierPositionsOneToThreeAreRewrittenTheRestKept) {
  Settings settings = Defaults();
  settings[SettingSlot::Modifiers] = Cp932Text("0101");
  SwitchEventFields fields = SwitchEventFieldsFrom(settings);
  EXPECT_FALSE(fields.ctrl);
  EXPECT_TRUE(fields.alt);
  EXPECT_FALSE(fields.shift);
  fields.alt = false;
  fields.shift = true;
  StoreSwitchEventFields(fields, settings);
  EXPECT_EQ(settings[SettingSlot::Modifiers], "0011");

  settings[SettingSlot::Modifiers] = Cp932Text("1");  // shorter than three: only Ctrl held
  fields = SwitchEventFieldsFrom(settings);
  EXPECT_TRUE(fields.ctrl);
  EXPECT_FALSE(fields.shift);
  StoreSwitchEventFields(fields, settings);
  EXPECT_EQ(settings[SettingSlot::Modifiers], "100");
}

TEST(SwitchEventFieldsTest, TextsAreStoredAsTypedIntoTheirSlots) {
  Settings settings = Defaults();
  SwitchEventFields fields = SwitchEventFieldsFrom(settings);
  EXPECT_EQ(fields.device, "NONE");
  EXPECT_EQ(fields.mouse_x, "300");
  fields = {"COM4", "OFF", "x", "7", "-1", "0D", "12a", " 40", true, true, true};
  StoreSwitchEventFields(fields, settings);
  EXPECT_EQ(settings[SettingSlot::SwitchDevice], "COM4");
  EXPECT_EQ(settings[SettingSlot::TriggerEdge], "OFF");
  EXPECT_EQ(settings[SettingSlot::PollIntervalMs], "x");
  EXPECT_EQ(settings[SettingSlot::EventDelayMs], "7");
  EXPECT_EQ(settings[SettingSlot::RestAfterEventMs], "-1");
  EXPECT_EQ(settings[SettingSlot::KeyCode], "0D");
  EXPECT_EQ(settings[SettingSlot::MouseX], "12a");
  EXPECT_EQ(settings[SettingSlot::MouseY], " 40");
  EXPECT_EQ(settings[SettingSlot::Modifiers], "111");
  EXPECT_EQ(SwitchEventFieldsFrom(settings), fields);
}

TEST(NamingFieldsTest, DefaultsComeBackUnchanged) {
  Settings settings = Defaults();
  const NamingFields fields = NamingFieldsFrom(settings);
  EXPECT_EQ(fields.quality, 95);
  EXPECT_EQ(fields.text_lines,
            "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s\r\n150,5,-22,Pellandor TEL:000-000-0000");
  Settings stored = Defaults();
  stored[SettingSlot::TextLines].clear();
  stored[SettingSlot::JpegQuality] = Cp932Text("1");
  StoreNamingFields(fields, stored);
  EXPECT_EQ(stored, settings);
}

TEST(NamingFieldsTest, QualityIsReadWithPercentDAndWrittenInDecimal) {
  Settings settings = Defaults();
  settings[SettingSlot::JpegQuality] = Cp932Text("abc");
  EXPECT_EQ(NamingFieldsFrom(settings).quality, 0);
  settings[SettingSlot::JpegQuality] = Cp932Text(" 80%");
  NamingFields fields = NamingFieldsFrom(settings);
  EXPECT_EQ(fields.quality, 80);
  fields.quality = 99;
  fields.text_lines = Cp932Text("150,5,3,a\r\n150,5,30,b\r\n");
  StoreNamingFields(fields, settings);
  EXPECT_EQ(settings[SettingSlot::JpegQuality], "99");
  EXPECT_EQ(settings[SettingSlot::TextLines], "150,5,3,a,150,5,30,b,");
}

}  // namespace
}  // namespace velmarin
