#pragma once

#include <string>

#include "settings/settings.h"

namespace velmarin {

// What the switch/event dialog edits, as text (code page 932) the way the settings hold it.
struct SwitchEventFields {
  std::string device;  // SwitchDevice
  std::string trigger_edge;
  std::string poll_ms;
  std::string delay_ms;
  std::string rest_ms;
  std::string key_code;
  std::string mouse_x;
  std::string mouse_y;
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
  std::string name_format;
  std::string range;       // SourceRange
  std::string text_lines;  // one stamp per line, "\r\n" between them (SplitTextLines)
  std::string font;
  std::string back_color;
  std::string text_color;
  int quality = 0;  // JpegQuality read with "%d"; 0 when it is not a number
  bool operator==(const NamingFields&) const = default;
};

NamingFields NamingFieldsFrom(const Settings& settings);
// Stores the fields as typed: TextLines joined with commas, JpegQuality written with "%d".
void StoreNamingFields(const NamingFields& fields, Settings& settings);

}  // namespace velmarin
