#include "control/settings_dialog_fields.h"

#include <string>
#include <string_view>
#include <utility>

#include "base/scanf_reader.h"
#include "control/text_lines_edit.h"
#include "image/stamp_settings.h"

namespace velmarin {
namespace {

bool HoldsOne(std::string_view text, std::size_t pos) {
  return pos < text.size() && text[pos] == '1';
}

}  // namespace

SwitchEventFields SwitchEventFieldsFrom(const Settings& settings) {
  SwitchEventFields fields;
  fields.device = settings[SettingSlot::SwitchDevice];
  fields.trigger_edge = settings[SettingSlot::TriggerEdge];
  fields.poll_ms = settings[SettingSlot::PollIntervalMs];
  fields.delay_ms = settings[SettingSlot::EventDelayMs];
  fields.rest_ms = settings[SettingSlot::RestAfterEventMs];
  fields.key_code = settings[SettingSlot::KeyCode];
  const std::string_view modifiers = settings[SettingSlot::Modifiers].view();
  fields.ctrl = HoldsOne(modifiers, 0);
  fields.alt = HoldsOne(modifiers, 1);
  fields.shift = HoldsOne(modifiers, 2);
  fields.mouse_x = settings[SettingSlot::MouseX];
  fields.mouse_y = settings[SettingSlot::MouseY];
  return fields;
}

void StoreSwitchEventFields(const SwitchEventFields& fields, Settings& settings) {
  settings[SettingSlot::SwitchDevice] = fields.device;
  settings[SettingSlot::TriggerEdge] = fields.trigger_edge;
  settings[SettingSlot::PollIntervalMs] = fields.poll_ms;
  settings[SettingSlot::EventDelayMs] = fields.delay_ms;
  settings[SettingSlot::RestAfterEventMs] = fields.rest_ms;
  settings[SettingSlot::KeyCode] = fields.key_code;
  std::string modifiers = settings[SettingSlot::Modifiers].bytes();
  if (modifiers.size() < 3) modifiers.resize(3);
  modifiers[0] = fields.ctrl ? '1' : '0';
  modifiers[1] = fields.alt ? '1' : '0';
  modifiers[2] = fields.shift ? '1' : '0';
  settings[SettingSlot::Modifiers] = Cp932Text(std::move(modifiers));
  settings[SettingSlot::MouseX] = fields.mouse_x;
  settings[SettingSlot::MouseY] = fields.mouse_y;
}

NamingFields NamingFieldsFrom(const Settings& settings) {
  NamingFields fields;
  fields.quality = ScanDecimal(settings[SettingSlot::JpegQuality].view()).value_or(0);
  fields.name_format = settings[SettingSlot::NameFormat];
  fields.font = settings[SettingSlot::TextFont];
  fields.back_color = settings[SettingSlot::TextBackColor];
  fields.text_color = settings[SettingSlot::TextColor];
  fields.range = settings[SettingSlot::SourceRange];
  fields.text_lines = Cp932Text(SplitTextLines(settings[SettingSlot::TextLines].bytes()));
  return fields;
}

void StoreNamingFields(const NamingFields& fields, Settings& settings) {
  settings[SettingSlot::NameFormat] = fields.name_format;
  settings[SettingSlot::SourceRange] = fields.range;
  settings[SettingSlot::TextLines] = Cp932Text(JoinTextLines(fields.text_lines.bytes()));
  settings[SettingSlot::JpegQuality] = Cp932Text(std::to_string(fields.quality));
  settings[SettingSlot::TextFont] = fields.font;
  settings[SettingSlot::TextBackColor] = fields.back_color;
  settings[SettingSlot::TextColor] = fields.text_color;
}

}  // namespace velmarin
