#include "control/station_bus_names.h"

#include <sys/stat.h>

#include "settings/program_dir.h"

namespace velmarin {

std::optional<std::string> StationBusName(const std::filesystem::path& folder) {
  struct stat station {};
  if (stat(folder.c_str(), &station) != 0) return std::nullopt;
  struct stat user {};
  if (stat(UserProgramFolder().c_str(), &user) == 0 && user.st_dev == station.st_dev &&
      user.st_ino == station.st_ino) {
    return kUserStationBusName;
  }
  return std::string(kUserStationBusName) + ".Folder_" + std::to_string(station.st_dev) + "_" +
         std::to_string(station.st_ino);
}

}  // namespace velmarin
