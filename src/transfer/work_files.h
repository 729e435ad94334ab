#pragma once

#include <string_view>

namespace velmarin {

// The "bkup" folder of the program folder: evacuated images and the two work files, which
// are deleted and rewritten for every image.
inline constexpr std::string_view kBackupFolderName = "bkup";
inline constexpr std::string_view kBmpConversionFileName = "temp.jpg";
inline constexpr std::string_view kWorkFileName = "444.jpg";

}  // namespace velmarin
