#pragma once

#include <filesystem>

namespace velmarin {

// How a finished file, written under a temporary name in the folder of its final name, takes
// that name.
class FileNaming {
 public:
  virtual ~FileNaming() = default;
  // The name the file is to get; the temporary goes into its folder. After a successful
  // Place, the name the file really got.
  virtual const std::filesystem::path& name() const = 0;
  // Gives the finished `temporary` its name. True when done (the temporary name is then
  // gone); false with errno set, the temporary left to the caller.
  virtual bool Place(const std::filesystem::path& temporary) = 0;
};

// A name that is taken whether a file of that name exists or not: a rename, which replaces
// an old file in one step.
class ReplacedName final : public FileNaming {
 public:
  explicit ReplacedName(std::filesystem::path name) : name_(std::move(name)) {}
  const std::filesystem::path& name() const override { return name_; }
  bool Place(const std::filesystem::path& temporary) override;

 private:
  std::filesystem::path name_;
};

enum class ClaimResult { kClaimed, kTaken, kFailed };

// A name that is taken only when no file of that name exists yet (ClaimName). Place fails
// with errno EEXIST when the name is taken.
class ClaimedName final : public FileNaming {
 public:
  explicit ClaimedName(std::filesystem::path name) : name_(std::move(name)) {}
  const std::filesystem::path& name() const override { return name_; }
  bool Place(const std::filesystem::path& temporary) override;

 private:
  std::filesystem::path name_;
};

// Gives the finished `temporary` the name `name` only when no file of that name exists,
// decided by the file system (the file server on a network mount) in one step, so that of
// several programs that want one name exactly one gets it: a hard link of the temporary onto
// the name, then the temporary name is removed. Where the file system has no hard links,
// ClaimByExclusiveCreate. kTaken leaves the temporary as it is; kFailed sets errno.
ClaimResult ClaimName(const std::filesystem::path& temporary, const std::filesystem::path& name);

// The claim without hard links: the name is created empty and exclusively (O_EXCL), then the
// temporary is renamed onto it. Readers may see the empty file for a moment.
ClaimResult ClaimByExclusiveCreate(const std::filesystem::path& temporary,
                                   const std::filesystem::path& name);

}  // namespace velmarin
