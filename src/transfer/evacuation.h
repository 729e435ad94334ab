#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "base/own_message.h"
#include "settings/program_dir.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

// Receives one message per file or folder that could not be handled.
using EvacuationReport = std::function<void(const OwnMessage& message)>;

// Moves the regular files of the watch folder whose names match `pattern` ("*.jpg"; the
// letter case is ignored, so ".JPG" files go too) into the "bkup" folder of the program
// folder, which is created first. Nothing in "bkup" is ever replaced: a name that is taken
// there (or is one of the work files) gets a number before its extension ("a.jpg" becomes
// "a_1.jpg", then "a_2.jpg"). A file that cannot be moved stays where it is and is reported;
// start-up goes on either way. An empty or unconvertible `watch_folder` is reported
// and nothing is moved. The stills of `leave` (those the journal says are not yet sent)
// stay where they are.
void EvacuateWatchFolder(const Cp932Text& watch_folder, std::string_view pattern,
                         const ProgramDir& program_dir, const EvacuationReport& report,
                         const std::vector<StillIdentity>& leave = {});

}  // namespace velmarin
