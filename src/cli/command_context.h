#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "cli/command_step.h"
#include "cli/options.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace velmarin::cli {

// What every command starts from, as the program's start-up does: the program folder, the
// settings of its "velmarin.ini" (created with defaults when missing, unless the command only
// reads them) and the capture ID.
struct CommandContext {
  ProgramDir program_dir;
  Settings settings;
  Cp932Text capture_id;  // "0" when --id is empty or absent
};

// The program folder: --dir, ~/Velmarin (made when missing) for --user-folder, else the
// current folder. Exit status 1 after printing the reason.
CommandStep<ProgramDir> ResolveProgramDir(const Options& options);
// The capture ID of --id in code page 932, "0" when empty or absent. Exit status 2 after
// printing the reason (more than 10 bytes, or not convertible).
CommandStep<Cp932Text> ParseCaptureId(const Options& options);

// Prepares the context or prints the reason on stderr (exit status 1 failure, 2 usage
// error). A command that only reads the settings leaves a missing file missing.
CommandStep<CommandContext> PrepareCommand(
    const Options& options, MissingSettingsFile missing_file = MissingSettingsFile::kCreate);

// Prints `reason` (UTF-8) on stderr as the program's error line; returns 1, the exit code of a
// failure.
int Failed(std::string_view reason);

// Writes out what the command printed on stdout. A command whose output did not all arrive
// (a full disk, a closed pipe) has failed whatever it returned: the reason is printed and 1
// returned; else `exit_code` is returned.
int FinishStandardOutput(int exit_code);

// Prints "watching FOLDER" on stderr once the folder thread has looked at `folder`: the stills
// present then are left alone. `events` false adds " (looked at every 0.5 s)".
void PrintWatchingLine(const std::filesystem::path& folder, bool events);

}  // namespace velmarin::cli
