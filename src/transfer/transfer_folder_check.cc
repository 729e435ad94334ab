#include "transfer/transfer_folder_check.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>

namespace velmarin {

std::optional<FolderPlace> RealFolderPlace(const std::filesystem::path& path) {
  struct stat info {};
  struct statfs fs {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || statfs(path.c_str(), &fs) != 0) {
    return std::nullopt;
  }
  return FolderPlace{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(fs.f_type)};
}

namespace {

bool IsWithin(const std::filesystem::path& folder, const std::filesystem::path& point) {
  const std::filesystem::path normal = folder.lexically_normal();
  return std::mismatch(point.begin(), point.end(), normal.begin(), normal.end()).first ==
         point.end();
}

}  // namespace

void TransferFolderCheck::Remember(const std::filesystem::path& folder) {
  if (origins_.contains(folder)) return;
  for (const std::filesystem::path& point : unmounted_()) {
    if (IsWithin(folder, point)) return;
  }
  const auto place = place_of_(folder);
  if (!place) return;
  Origin origin{*place, std::nullopt};
  for (std::filesystem::path above = folder.parent_path(); !above.empty();
       above = above.parent_path()) {
    if (const auto up = place_of_(above); up && up->device != place->device) {
      origin.below = up->device;
      break;
    }
    if (above == above.root_path()) break;
  }
  origins_.emplace(folder, origin);
}

bool TransferFolderCheck::Available(const std::filesystem::path& folder) {
  Remember(folder);
  const auto place = place_of_(folder);
  const auto origin = origins_.find(folder);
  if (!place || origin == origins_.end()) return false;
  const Origin& was = origin->second;
  if (place->device == was.place.device) return true;
  return place->fs_type == was.place.fs_type && place->device != was.below;
}

}  // namespace velmarin
