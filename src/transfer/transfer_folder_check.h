#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "platform/mount_points.h"

namespace velmarin {

// Where a folder lies: the device of its file system and the file system's type.
struct FolderPlace {
  std::uint64_t device = 0;
  std::uint64_t fs_type = 0;  // statfs f_type: ext4, tmpfs, NFS, SMB...
  bool operator==(const FolderPlace&) const = default;
};

// The place of the folder at `path`; nullopt when no folder is there. The file-system seam
// of the check below (RealFolderPlace in the program, a table in tests).
using FolderPlaceOf = std::function<std::optional<FolderPlace>(const std::filesystem::path&)>;
std::optional<FolderPlace> RealFolderPlace(const std::filesystem::path& path);

// The declared mount points that are not mounted now (UnmountedDeclaredMountPoints in the
// program, a list in tests).
using UnmountedMountPoints = std::function<std::vector<std::filesystem::path>()>;

// Whether a transfer folder is still the one that was first seen. A share that drops leaves
// its empty mount point on the file system below it, and a deleted folder is not there; both
// are refused, so nothing is written where the share should be. A share mounted again may
// have another device number: that is accepted when its file system has the type it had and
// is not the one below the mount point. A folder first seen below a mount point that
// /etc/fstab declares but that is not mounted (the program started while the share was
// down) is not remembered, and so refused, until the share is back.
class TransferFolderCheck {
 public:
  explicit TransferFolderCheck(FolderPlaceOf place_of = RealFolderPlace,
                               UnmountedMountPoints unmounted = UnmountedDeclaredMountPoints)
      : place_of_(std::move(place_of)), unmounted_(std::move(unmounted)) {}

  // Remembers where `folder` lies, when it is there, not below an unmounted share and not yet
  // remembered.
  void Remember(const std::filesystem::path& folder);
  // True when `folder` exists and lies where it lay when remembered (remembered now, when it
  // was not yet).
  bool Available(const std::filesystem::path& folder);

 private:
  struct Origin {
    FolderPlace place;
    // The device of the nearest folder above on another file system: where the folder would
    // lie with its share gone.
    std::optional<std::uint64_t> below;
  };

  FolderPlaceOf place_of_;
  UnmountedMountPoints unmounted_;
  std::map<std::filesystem::path, Origin> origins_;
};

}  // namespace velmarin
