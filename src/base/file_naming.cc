#include "base/file_naming.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velmarin {
namespace {

// Both names lead to the same file.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The errors of link() on a file system without hard links (vfat, some SMB servers).
bool HardLinksMissing(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

bool ReplacedName::Place(const std::filesystem::path& temporary) {
  return std::rename(temporary.c_str(), name_.c_str()) == 0;
}

bool ClaimedName::Place(const std::filesystem::path& temporary) {
  const ClaimResult result = ClaimName(temporary, name_);
  if (result == ClaimResult::kTaken) errno = EEXIST;
  return result == ClaimResult::kClaimed;
}

ClaimResult ClaimName(const std::filesystem::path& temporary, const std::filesystem::path& name) {
  if (::link(temporary.c_str(), name.c_str()) != 0) {
    const int error = errno;
    if (HardLinksMissing(error)) return ClaimByExclusiveCreate(temporary, name);
    // Over NFS a link whose reply was lost is sent again and then meets its own first
    // success: the name leading to the temporary's file means it was ours.
    if (error != EEXIST) return ClaimResult::kFailed;
    if (!SameFile(temporary, name)) return ClaimResult::kTaken;
  }
  ::unlink(temporary.c_str());  // the name keeps the file
  return ClaimResult::kClaimed;
}

ClaimResult ClaimByExclusiveCreate(const std::filesystem::path& temporary,
                                   const std::filesystem::path& name) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? ClaimResult::kTaken : ClaimResult::kFailed;
  ::close(fd);
  if (std::rename(temporary.c_str(), name.c_str()) == 0) return ClaimResult::kClaimed;
  const int error = errno;
  ::unlink(name.c_str());
  errno = error;
  return ClaimResult::kFailed;
}

}  // namespace velmarin
