#pragma once

#include <fcntl.h>

#include <filesystem>
#include <string_view>

namespace velmarin {

// A file as the *at() system calls name it: `path` relative to the open folder `folder`.
// With AT_FDCWD (a plain path) it is an ordinary path. A folder held open keeps its file
// system: what is made relative to it never lands on another one mounted over its path
// meanwhile, nor on the disk below a share that dropped.
struct AtPath {
  AtPath(std::filesystem::path plain) : path(std::move(plain)) {}  // NOLINT: a plain path
  AtPath(int in_folder, std::filesystem::path relative)
      : folder(in_folder), path(std::move(relative)) {}

  int folder = AT_FDCWD;
  std::filesystem::path path;
};

// How a finished file, written under a temporary name in the folder of its final name, takes
// that name.
class FileNaming {
 public:
  virtual ~FileNaming() = default;
  // The name the file is to get, as it is shown; the temporary goes into its folder. After a
  // successful Place, the name the file really got.
  virtual const std::filesystem::path& name() const = 0;
  // Where name() is made: the name itself, or a path relative to an open folder.
  virtual AtPath location() const { return name(); }
  // Put into the temporary's name, so a station tells its own temporaries from those of
  // others that share the folder (IsOwnTemporaryName); empty for none.
  virtual std::string_view temporary_mark() const { return {}; }
  // Gives the finished `temporary` (in the folder of location()) its name. True when done
  // (the temporary name is then gone); false with errno set, the temporary left to the caller.
  virtual bool Place(const AtPath& temporary) = 0;
};

// A name that is taken whether a file of that name exists or not: a rename, which replaces
// an old file in one step.
class ReplacedName final : public FileNaming {
 public:
  explicit ReplacedName(std::filesystem::path name) : name_(std::move(name)) {}
  const std::filesystem::path& name() const override { return name_; }
  bool Place(const AtPath& temporary) override;

 private:
  std::filesystem::path name_;
};

// Renames `from` onto `to`, replacing a file there in one step. False with errno set.
bool RenameReplacing(const AtPath& from, const AtPath& to);

enum class ClaimResult { kClaimed, kTaken, kFailed };

// A name that is taken only when no file of that name exists yet (ClaimName). Place fails
// with errno EEXIST when the name is taken.
class ClaimedName final : public FileNaming {
 public:
  explicit ClaimedName(std::filesystem::path name) : name_(std::move(name)) {}
  const std::filesystem::path& name() const override { return name_; }
  bool Place(const AtPath& temporary) override;

 private:
  std::filesystem::path name_;
};

// Gives the finished `temporary` the name `name` only when no file of that name exists,
// decided by the file system (the file server on a network mount) in one step, so that of
// several programs that want one name exactly one gets it: a hard link of the temporary onto
// the name, then the temporary name is removed. Where the file system has no hard links,
// ClaimByExclusiveCreate. kTaken leaves the temporary as it is; kFailed sets errno.
ClaimResult ClaimName(const AtPath& temporary, const AtPath& name);

// The claim without hard links: the name is created empty and exclusively (O_EXCL), then the
// temporary is renamed onto it. Readers may see the empty file for a moment.
ClaimResult ClaimByExclusiveCreate(const AtPath& temporary, const AtPath& name);

}  // namespace velmarin
