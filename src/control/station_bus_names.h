#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velmarin {

// Where other programs find a running station on the session bus: one object on one name,
// the name telling the stations of different program folders apart.
inline constexpr char kStationObjectPath[] = "/org/velmarin/Velmarin";
inline constexpr char kStationInterface[] = "org.velmarin.Velmarin.Station";
// The station on the user folder (~/Velmarin: the menu's and the user service's).
inline constexpr char kUserStationBusName[] = "org.velmarin.Velmarin";
// Errors of its methods.
inline constexpr char kInvalidIdError[] = "org.velmarin.Velmarin.Error.InvalidId";
inline constexpr char kShuttingDownError[] = "org.velmarin.Velmarin.Error.ShuttingDown";
inline constexpr char kBusyError[] = "org.velmarin.Velmarin.Error.Busy";

// The bus name of the station on `folder`: kUserStationBusName for the user folder, else
// "org.velmarin.Velmarin.Folder_DEVICE_INODE" with the folder's device and inode numbers in
// decimal (`stat -c org.velmarin.Velmarin.Folder_%d_%i FOLDER`), so every spelling of a folder
// (a symbolic link, a relative path) gives the same name. nullopt when the folder cannot be
// looked at.
std::optional<std::string> StationBusName(const std::filesystem::path& folder);

}  // namespace velmarin
