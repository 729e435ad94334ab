#include "transfer/stills_saved_while_stopped.h"

#include <algorithm>

#include "settings/program_dir.h"

namespace velmarin {

std::vector<ArrivedStill> StillsSavedWhileStopped(const ProgramDir& program_dir,
                                                  const Settings& settings,
                                                  const std::vector<StillIdentity>& leave) {
  const auto record = ReadWatchFolderRecord(program_dir);
  const auto folder = FolderFromSlot(settings[SettingSlot::WatchFolder], program_dir, nullptr);
  if (!record || !folder || record->folder() != *folder) return {};
  const auto entries = ListDirectory(*folder);
  if (!entries) return {};
  std::vector<ArrivedStill> stills;
  for (const DirectoryEntry& entry : *entries) {
    if (!entry.regular_file || !IsStillName(entry.name) || !record->SavedLater(entry)) continue;
    const StillIdentity identity = IdentityOf(entry);
    if (std::ranges::find(leave, identity) != leave.end()) continue;
    ArrivedStill still;
    still.path = *folder / entry.name;
    still.identity = identity;
    still.creation_time_ns = entry.creation_time_ns;
    still.binding = {record->capture_id(), LocalTimeAt(entry.modified_ns / 1'000'000'000),
                     settings};
    still.saved_while_stopped = true;
    stills.push_back(std::move(still));
  }
  return stills;
}

}  // namespace velmarin
