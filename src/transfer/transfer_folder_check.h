#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/own_message.h"
#include "base/unique_fd.h"
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

// The file in the program folder where a station remembers its transfer folders.
inline constexpr std::string_view kTransferFolderStateFileName = "velmarin.transfer-folders";

// Whether a transfer folder is still the one that was first seen. A share that drops leaves
// its empty mount point on the file system below it, and a deleted folder is not there; both
// are refused, so nothing is written where the share should be. A share mounted again may
// have another device number: that is accepted when its file system has the type it had and
// is not the one below the mount point. A folder first seen below a mount point that
// /etc/fstab declares but that is not mounted (the program started while the share was
// down) is not remembered, and so refused, until the share is back. A folder first seen on
// the file system of the folder above it (perhaps the bare mount point of a share that was
// down) over which another file system is mounted later is that share: remembered from then
// on. What is remembered is kept in a state file of the program folder (KeepIn), so a start
// while the share is down waits for it too.
class TransferFolderCheck {
 public:
  explicit TransferFolderCheck(FolderPlaceOf place_of = RealFolderPlace,
                               UnmountedMountPoints unmounted = UnmountedDeclaredMountPoints)
      : place_of_(std::move(place_of)), unmounted_(std::move(unmounted)) {}

  // Keeps what is remembered in `file` from now on: reads it (a station moved to another
  // disk, whose program folder is another one, forgets the places it read) and writes it
  // whenever something new is remembered. Its trouble (UTF-8) goes to `report`; a file that
  // cannot be read counts as none.
  void KeepIn(std::filesystem::path file, std::function<void(const OwnMessage&)> report);
  // The mark of this station's temporaries in its transfer folders (AtomicFile), kept in the
  // file; empty before KeepIn.
  const std::string& temporary_mark() const { return temporary_mark_; }

  // Monitoring starts with `folder` as the transfer folder. A folder other than the one
  // chosen last (the user changed the setting) is taken as first seen, unless it lies on the
  // file system below its remembered share: then that share is down and is waited for.
  void Choose(const std::filesystem::path& folder);
  // Remembers where `folder` lies, when it is there, not below an unmounted share and not yet
  // remembered.
  void Remember(const std::filesystem::path& folder);
  // True when `folder` exists and lies where it lay when remembered (remembered now, when it
  // was not yet).
  bool Available(const std::filesystem::path& folder);

  // `folder` held open (O_PATH) for one image when it is Available; nullopt when it is not, or
  // when the folder at its path changed while it was opened.
  std::optional<UniqueFd> Open(const std::filesystem::path& folder);
  // After an image took its name in `opened` (from Open of `folder`): true when the folder is
  // still available and its path still leads to `opened`, so the image is on the share where
  // it is looked for, not on one that was unmounted meanwhile.
  bool Holds(const std::filesystem::path& folder, const UniqueFd& opened);

 private:
  struct Origin {
    FolderPlace place;
    // The device of the nearest folder above on another file system: where the folder would
    // lie with its share gone.
    std::optional<std::uint64_t> below;
    // Whether the folder lay on another file system than the folder above it.
    bool mount_root = false;
  };

  // The device of the nearest folder above `folder` that lies on another file system than
  // `device`.
  std::optional<std::uint64_t> DeviceBelow(const std::filesystem::path& folder,
                                           std::uint64_t device) const;
  std::optional<Origin> OriginNow(const std::filesystem::path& folder) const;
  void Save();

  FolderPlaceOf place_of_;
  UnmountedMountPoints unmounted_;
  std::map<std::filesystem::path, Origin> origins_;
  std::optional<std::filesystem::path> chosen_;
  std::optional<std::filesystem::path> file_;
  std::function<void(const OwnMessage&)> report_;
  std::string temporary_mark_;
  bool save_failed_ = false;  // said once until a save succeeds
};

}  // namespace velmarin
