#pragma once

#include <optional>

#include "cli/options.h"
#include "settings/program_dir.h"

namespace velmarin::cli {

// `velmarin [--dir D | --user-folder] --id N` while a station already runs: the one on the
// program folder (it holds the folder's lock), or, from a folder that is no program folder
// (no velmarin.ini there) and without --dir or --user-folder, the one on the user folder
// (~/Velmarin, the menu's and the user service's). Hands it N over the session bus as "IDで開始"
// and prints its answer: the exit status, 0, or 1 when it cannot be reached or refused the ID.
// nullopt where no station runs: the program goes on as without a station.
std::optional<int> HandIdToRunningStation(const Options& options, const ProgramDir& program_dir);

// --status: the properties of the station running on the program folder (found as above) as
// NAME=VALUE lines; 1 when none runs or it cannot be reached.
int RunStatusCommand(const Options& options);

}  // namespace velmarin::cli
