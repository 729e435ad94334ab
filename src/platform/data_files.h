#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace velmarin {

// The folder of the program's data files (the chime): VELMARIN_DATA_DIR when set, else
// "../share/velmarin" beside the executable when it exists (an installed program), else the
// source tree's "media" folder (a program run from its build folder).
std::filesystem::path DataFolder();

// `name` in DataFolder() when that file exists.
std::optional<std::filesystem::path> FindDataFile(std::string_view name);

}  // namespace velmarin
