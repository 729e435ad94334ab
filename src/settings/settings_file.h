#pragma once

#include <string>
#include <string_view>

#include "settings/program_dir.h"
#include "settings/settings.h"

namespace velmarin {

// "velmarin.ini": one line per slot, the slot's label directly followed by its value, code
// page 932, CR LF, in slot order. Files written on Windows load unchanged.
inline constexpr std::string_view kSettingsFileName = "velmarin.ini";

// Reads the settings from the raw bytes of a settings file. CR LF counts as one line end,
// as Windows text mode delivers it. Lines are read in pieces of at most 999 bytes. A slot
// takes its value from every line that contains its label anywhere: the value starts at the
// label's length counted from the start of the line and loses its last byte (the line end).
// Later lines win; slots without a line get their defaults. `program_dir_cp932` gives the
// folder defaults.
Settings ParseSettingsFile(std::string_view bytes, std::string_view program_dir_cp932);

// The file's bytes: the 19 lines label + value + CR LF. A value ends at a NUL or a line feed,
// which a line cannot hold.
std::string FormatSettingsFile(const Settings& settings);

// Reads dir.path/"velmarin.ini". A missing file is created with the defaults. When the file
// cannot be read, or is missing and cannot be created, the defaults are returned and
// `*warning` says why (the program goes on with them); otherwise `*warning` is left alone.
Settings LoadSettings(const ProgramDir& dir, std::string* warning);

// Writes every slot to dir.path/"velmarin.ini" atomically: a temporary file in the same folder
// is written, flushed to disk and renamed over the old file, so a crash never leaves an empty
// or half-written file. The old file's permissions are kept. On failure the old file is
// untouched, no temporary file is left and `*error` says why.
bool SaveSettings(const ProgramDir& dir, const Settings& settings, std::string* error);

}  // namespace velmarin
