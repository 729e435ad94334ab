#pragma once

#include "settings/settings.h"

namespace velmarin {

// What the switch/event dialog edits, as text (code page 932) the way the settings hold it.
struct SwitchEventFields {
  Cp932Text device;  // SwitchDevice
  Cp932Text trigger_edge;
  Cp932Text poll_ms;
  Cp932Text delay_ms;
  Cp932Text rest_ms;
  Cp932Text key_code;
  Cp932Text mouse_x;
  Cp932Text mouse_y;
  bool ctrl = false;  // Modifiers positions 1 to 3 holding '1'
  bool alt = false;
  bool shift = false;
  bool operator==(const SwitchEventFields&) const = default;
};

SwitchEventFields SwitchEventFieldsFrom(const Settings& settings);
// Stores the fields as typed. Positions 1 to 3 of Modifiers become '1' or '0' for Ctrl, Alt
// and Shift; any further characters stay as they were.
void StoreSwitchEventFields(const SwitchEventFields& fields, Settings& settings);

// What the naming and editing dialog edits.
struct NamingFields {
  Cp932Text name_format;
  Cp932Text range;       // SourceRange
  Cp932Text text_lines;  // one stamp per line, "\r\n" between them (SplitTextLines)
  Cp932Text font;
  Cp932Text back_color;
  Cp932Text text_color;
  int quality = 0;  // JpegQuality read with "%d"; 0 when it is not a number
  bool operator==(const NamingFields&) const = default;
};

NamingFields NamingFieldsFrom(const Settings& settings);
// Stores the fields as typed: TextLines joined with commas, JpegQuality written with "%d".
void StoreNamingFields(const NamingFields& fields, Settings& settings);

}  // namespace velmarin
