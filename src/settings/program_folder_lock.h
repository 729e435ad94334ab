#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>

#include "base/own_message.h"
#include "base/unique_fd.h"
#include "settings/program_dir.h"

namespace velmarin {

// Keeps a second program off the same program folder: two instances on one folder would
// transfer every image twice, or write each target twice under one name. The lock is an
// advisory lock on the file ".velmarin.lock" in the program folder, held for as long as the
// object lives and released by the system when the process ends, however it ends.
class ProgramFolderLock {
 public:
  // Takes the lock. nullopt with `error` (names the folder) when another program holds it or
  // the lock file cannot be opened.
  static std::optional<ProgramFolderLock> Acquire(const ProgramDir& dir, OwnMessage* error);
  // The process that holds the lock of `dir` now (0 when the lock file does not say), or
  // nullopt when none does; creates nothing.
  static std::optional<pid_t> Holder(const ProgramDir& dir);

 private:
  explicit ProgramFolderLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;
};

inline constexpr char kProgramFolderLockName[] = ".velmarin.lock";

}  // namespace velmarin
