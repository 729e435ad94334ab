#pragma once

#include <string_view>

namespace velmarin {

// The "bkup" folder of the program folder, where evacuated images go, and the names of the
// work files that earlier versions rewrote there for every image: evacuated images keep off
// those names, so an older version run from the same folder never deletes one.
inline constexpr std::string_view kBackupFolderName = "bkup";
inline constexpr std::string_view kBmpConversionFileName = "temp.jpg";
inline constexpr std::string_view kWorkFileName = "444.jpg";

}  // namespace velmarin
