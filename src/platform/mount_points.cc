#include "platform/mount_points.h"

#include <mntent.h>

#include <algorithm>
#include <string_view>

#include "base/c_handle.h"

namespace velmarin {
namespace {

using MountTable = CHandle<FILE, endmntent>;

// The mount points a table lists, swap and the root left out.
std::vector<std::filesystem::path> MountPointsIn(const char* table) {
  std::vector<std::filesystem::path> points;
  const MountTable file(setmntent(table, "r"));
  if (!file) return points;
  mntent entry{};
  char buffer[4096];
  while (getmntent_r(file.get(), &entry, buffer, sizeof buffer) != nullptr) {
    const std::string_view dir = entry.mnt_dir;
    if (dir.empty() || dir[0] != '/' || dir == "/" || std::string_view(entry.mnt_type) == "swap") {
      continue;
    }
    points.emplace_back(std::filesystem::path(dir).lexically_normal());
  }
  return points;
}

}  // namespace

std::vector<std::filesystem::path> UnmountedDeclaredMountPoints() {
  std::vector<std::filesystem::path> declared = MountPointsIn("/etc/fstab");
  if (declared.empty()) return declared;
  const std::vector<std::filesystem::path> mounted = MountPointsIn("/proc/self/mounts");
  std::erase_if(declared, [&mounted](const std::filesystem::path& point) {
    return std::find(mounted.begin(), mounted.end(), point) != mounted.end();
  });
  return declared;
}

}  // namespace velmarin
