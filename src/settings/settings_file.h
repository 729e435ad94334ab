#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/own_message.h"
#include "settings/program_dir.h"
#include "settings/settings.h"

namespace velmarin {

// "velmarin.ini": one line per slot, the slot's label directly followed by its value, code
// page 932, CR LF, in slot order. Files written on Windows load unchanged.
inline constexpr std::string_view kSettingsFileName = "velmarin.ini";

using SlotFlags = std::array<bool, kSettingSlotCount>;

// The encoding a settings file is written in: code page 932 as the program writes it, or UTF-8
// when an editor re-saved it so (its labels are then in UTF-8, perhaps after a byte-order
// mark). Each line is read in its own encoding and changed lines are written in the file's.
enum class SettingsEncoding { kShiftJis, kUtf8 };

// The encoding of a settings file's bytes: UTF-8 when it starts with a byte-order mark or holds
// a label in UTF-8.
SettingsEncoding SettingsEncodingOf(std::string_view bytes);

// What reading a settings file found beside the values.
struct SettingsFileReading {
  SlotFlags found{};  // the slots that had a line
  SettingsEncoding encoding = SettingsEncoding::kShiftJis;
  // The slots whose last line is UTF-8 with a character code page 932 cannot write: that line
  // was not taken.
  SlotFlags not_shift_jis{};
};

// Reads the settings from the raw bytes of a settings file. CR LF counts as one line end,
// as Windows text mode delivers it. Lines are read in pieces of at most 999 bytes. A slot
// takes its value from every line that contains its label anywhere: the value starts at the
// label's length counted from the start of the line and loses its last byte (the line end).
// A line with the label in UTF-8 has its value in UTF-8 and is converted (its line end alone
// is dropped, so no character is cut); a file in UTF-8 has the values of its two ASCII labels
// in UTF-8 too. Later lines win; slots without a line get their defaults. `program_dir` gives
// the folder defaults.
Settings ParseSettingsFile(std::string_view bytes, const Cp932Text& program_dir,
                           SettingsFileReading* reading = nullptr);

// What `reading` of the file at `path` (with these `bytes`) has to tell the user: lines whose
// UTF-8 value code page 932 cannot write, or a file in neither encoding whose labels were not
// recognised, so those settings have their defaults. Empty when the file was read whole.
OwnMessage DescribeReadingProblem(const std::filesystem::path& path, std::string_view bytes,
                                  const SettingsFileReading& reading);

// The file's bytes: the 19 lines label + value + CR LF. A value ends at a NUL or a line feed,
// which a line cannot hold.
std::string FormatSettingsFile(const Settings& settings);

// Reads and parses dir.path/"velmarin.ini", creating or replacing nothing. nullopt when it
// cannot be read: `*error` says why and `*missing` tells whether it does not exist.
// `*warning` gets DescribeReadingProblem when there is one; `*encoding` (optional) the file's.
std::optional<Settings> ReadSettingsFile(const ProgramDir& dir, bool* missing, OwnMessage* error,
                                         OwnMessage* warning, SettingsEncoding* encoding = nullptr);

// What LoadSettings does when "velmarin.ini" does not exist: a program that runs on the folder
// makes it; a command that only shows the settings writes nothing.
enum class MissingSettingsFile { kCreate, kLeave };

// Reads dir.path/"velmarin.ini". A missing file is created with the defaults (unless
// `missing_file` leaves it). When the file cannot be read, or is missing and cannot be
// created, the defaults are returned and `*warning` says why (the program goes on with them);
// a file that exists is never replaced here. A reading problem (DescribeReadingProblem) goes
// to `*warning` too. Otherwise `*warning` is left alone. `*encoding` (optional) gets the
// file's encoding.
Settings LoadSettings(const ProgramDir& dir, OwnMessage* warning,
                      SettingsEncoding* encoding = nullptr,
                      MissingSettingsFile missing_file = MissingSettingsFile::kCreate);

// The file's bytes with only the lines of the slots that differ between `baseline` and
// `current` replaced, as text, by the label and the new value, each line in the encoding it
// was in; every other byte stays as it was. A changed slot without a line gets one at the end,
// in the file's encoding. So a file an editor re-saved in UTF-8 stays UTF-8, and every value
// written is read back. nullopt with `*unwritable` when a value cannot be written in UTF-8.
std::optional<std::string> ReplaceChangedLines(std::string_view bytes, const Settings& baseline,
                                               const Settings& current, SettingSlot* unwritable);

// The save of a changed setting. `baseline` is the record as loaded (or last saved) and
// `current` the record now; a slot "changed" is one where they differ. Nothing is written
// when no slot changed. Otherwise the file is read again and only the changed lines are
// replaced in it (ReplaceChangedLines), so what was edited in the file meanwhile, and lines
// this program could not read, are kept. A missing file gets `current` whole. A file that
// cannot be read or merged, or that the user may not write, is left alone: false with
// `*message` the reason, as when the file could not be written.
bool SaveChangedSettings(const ProgramDir& dir, const Settings& baseline, const Settings& current,
                         OwnMessage* message);

// Writes every slot to dir.path/"velmarin.ini" atomically: a temporary file in the same folder
// is written, flushed to disk and renamed over the old file, so a crash never leaves an empty
// or half-written file. The old file's permissions are kept; a symbolic link is written through
// to its target and stays a link. A file the user may not write (write-protected, or on a
// read-only file system) is never replaced by the rename. On failure the old file is
// untouched, no temporary file is left and `*error` says why, with the system's reason.
bool SaveSettings(const ProgramDir& dir, const Settings& settings, OwnMessage* error);

}  // namespace velmarin
