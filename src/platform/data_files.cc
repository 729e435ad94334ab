#include "platform/data_files.h"

#include <cstdlib>
#include <system_error>

namespace velmarin {

std::filesystem::path DataFolder() {
  if (const char* dir = std::getenv("VELMARIN_DATA_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto installed = executable.parent_path().parent_path() / "share" / "velmarin";
    if (std::filesystem::is_directory(installed, error)) return installed;
  }
  return VELMARIN_SOURCE_DATA_DIR;
}

std::optional<std::filesystem::path> FindDataFile(std::string_view name) {
  auto path = DataFolder() / name;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  return path;
}

}  // namespace velmarin
