#pragma once

#include <vector>

#include "settings/program_dir.h"
#include "settings/settings.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

// The stills saved into the watch folder while the program was not running, as the record of
// the last run tells (WatchFolderRecord): each arrived when it was written, with the last
// run's ID and the settings in force now; they are waited for until they are complete. None
// without a record (a first start, or after "監視停止") or with a record of another folder
// (the setting changed: the folder is new to the program). `leave` names the stills the
// journal gives back already.
std::vector<ArrivedStill> StillsSavedWhileStopped(const ProgramDir& program_dir,
                                                  const Settings& settings,
                                                  const std::vector<StillIdentity>& leave);

}  // namespace velmarin
