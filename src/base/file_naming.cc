#include "base/file_naming.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velmarin {
namespace {

// Both names lead to the same file.
bool SameFile(const AtPath& a, const AtPath& b) {
  struct stat first {};
  struct stat second {};
  return ::fstatat(a.folder, a.path.c_str(), &first, 0) == 0 &&
         ::fstatat(b.folder, b.path.c_str(), &second, 0) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// The errors of link() on a file system without hard links (vfat, some SMB servers).
bool HardLinksMissing(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

bool RenameReplacing(const AtPath& from, const AtPath& to) {
  return ::renameat(from.folder, from.path.c_str(), to.folder, to.path.c_str()) == 0;
}

bool ReplacedName::Place(const AtPath& temporary) { return RenameReplacing(temporary, name_); }

bool ClaimedName::Place(const AtPath& temporary) {
  const ClaimResult result = ClaimName(temporary, name_);
  if (result == ClaimResult::kTaken) errno = EEXIST;
  return result == ClaimResult::kClaimed;
}

ClaimResult ClaimName(const AtPath& temporary, const AtPath& name) {
  if (::linkat(temporary.folder, temporary.path.c_str(), name.folder, name.path.c_str(), 0) != 0) {
    const int error = errno;
    if (HardLinksMissing(error)) return ClaimByExclusiveCreate(temporary, name);
    // Over NFS a link whose reply was lost is sent again and then meets its own first
    // success: the name leading to the temporary's file means it was ours.
    if (error != EEXIST) return ClaimResult::kFailed;
    if (!SameFile(temporary, name)) return ClaimResult::kTaken;
  }
  ::unlinkat(temporary.folder, temporary.path.c_str(), 0);  // the name keeps the file
  return ClaimResult::kClaimed;
}

ClaimResult ClaimByExclusiveCreate(const AtPath& temporary, const AtPath& name) {
  const int fd =
      ::openat(name.folder, name.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? ClaimResult::kTaken : ClaimResult::kFailed;
  ::close(fd);
  if (RenameReplacing(temporary, name)) return ClaimResult::kClaimed;
  const int error = errno;
  ::unlinkat(name.folder, name.path.c_str(), 0);
  errno = error;
  return ClaimResult::kFailed;
}

}  // namespace velmarin
