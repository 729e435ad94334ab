#pragma once

#include <filesystem>
#include <vector>

namespace velmarin {

// The mount points that /etc/fstab declares and that are not mounted now (after
// /proc/self/mounts). A folder below one of them lies on the bare mount point, where the
// share or disk should be.
std::vector<std::filesystem::path> UnmountedDeclaredMountPoints();

}  // namespace velmarin
