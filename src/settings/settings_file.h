#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "settings/program_dir.h"
#include "settings/settings.h"

namespace velmarin {

// "velmarin.ini": one line per slot, the slot's label directly followed by its value, code
// page 932, CR LF, in slot order. Files written on Windows load unchanged.
inline constexpr std::string_view kSettingsFileName = "velmarin.ini";

using SlotFlags = std::array<bool, kSettingSlotCount>;

// Reads the settings from the raw bytes of a settings file. CR LF counts as one line end,
// as Windows text mode delivers it. Lines are read in pieces of at most 999 bytes. A slot
// takes its value from every line that contains its label anywhere: the value starts at the
// label's length counted from the start of the line and loses its last byte (the line end).
// Later lines win; slots without a line get their defaults. `program_dir` gives the
// folder defaults.
// `*found`, when given, tells which slots had a line.
Settings ParseSettingsFile(std::string_view bytes, const Cp932Text& program_dir,
                           SlotFlags* found = nullptr);

// Why the slots without a line (`found` clear) fell back to their defaults when the file is
// not Shift-JIS (it has the labels in UTF-8, or is not valid code page 932 text): names those
// slots. Empty when the file is fine.
std::string DescribeEncodingProblem(std::string_view bytes, const SlotFlags& found);

// The file's bytes: the 19 lines label + value + CR LF. A value ends at a NUL or a line feed,
// which a line cannot hold.
std::string FormatSettingsFile(const Settings& settings);

// Reads and parses dir.path/"velmarin.ini", creating or replacing nothing. nullopt when it
// cannot be read: `*error` says why and `*missing` tells whether it does not exist.
// `*warning` gets the encoding problem (DescribeEncodingProblem) when there is one.
std::optional<Settings> ReadSettingsFile(const ProgramDir& dir, bool* missing, std::string* error,
                                         std::string* warning);

// What LoadSettings does when "velmarin.ini" does not exist: a program that runs on the folder
// makes it; a command that only shows the settings writes nothing.
enum class MissingSettingsFile { kCreate, kLeave };

// Reads dir.path/"velmarin.ini". A missing file is created with the defaults (unless
// `missing_file` leaves it). When the file cannot be read, or is missing and cannot be
// created, the defaults are returned and `*warning` says why (the program goes on with them);
// a file that exists is never replaced here. A file not in Shift-JIS is read as it is and
// `*warning` names the settings that fell back to their defaults. Otherwise `*warning` is left
// alone.
Settings LoadSettings(const ProgramDir& dir, std::string* warning,
                      MissingSettingsFile missing_file = MissingSettingsFile::kCreate);

// The file's bytes with only the lines of the slots that differ between `baseline` and
// `current` replaced, as text, by the label and the new value; every other byte stays as it
// was. A changed slot without a line gets one at the end. A file an editor re-saved in UTF-8
// stays UTF-8. nullopt with `*reason` when a value cannot be written so.
std::optional<std::string> ReplaceChangedLines(std::string_view bytes, const Settings& baseline,
                                               const Settings& current, std::string* reason);

// The save of a changed setting. `baseline` is the record as loaded (or last saved) and
// `current` the record now; a slot "changed" is one where they differ. Nothing is written
// when no slot changed. Otherwise the file is read again and only the changed lines are
// replaced in it (ReplaceChangedLines), so what was edited in the file meanwhile, and lines
// this program could not read, are kept. A missing file gets `current` whole. A file that
// cannot be read or merged is left alone: false with `*message` the reason, as when the
// file could not be written.
bool SaveChangedSettings(const ProgramDir& dir, const Settings& baseline, const Settings& current,
                         std::string* message);

// Writes every slot to dir.path/"velmarin.ini" atomically: a temporary file in the same folder
// is written, flushed to disk and renamed over the old file, so a crash never leaves an empty
// or half-written file. The old file's permissions are kept; a symbolic link is written through
// to its target and stays a link. On failure the old file is
// untouched, no temporary file is left and `*error` says why.
bool SaveSettings(const ProgramDir& dir, const Settings& settings, std::string* error);

}  // namespace velmarin
