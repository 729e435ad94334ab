#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string_view>

#include "base/file_naming.h"

namespace velmarin {

// A temporary younger than this may still be written by a program on another machine that
// shares the folder, where the lock does not reach.
inline constexpr std::chrono::seconds kStaleTemporaryAge{60};

// Removes from `folder` the temporaries an AtomicFile left behind when its process was killed:
// regular files named by IsAtomicFileTemporaryName, not locked by a writer and not modified
// for `min_age`; those marked with `own_mark` (IsOwnTemporaryName: this station's, whose
// writer is known to be gone) whatever their age. Nothing else is touched, and sub-folders are
// not entered. Returns how many were removed; a folder that cannot be read removes none.
std::size_t RemoveStaleTemporaries(const AtPath& folder,
                                   std::chrono::seconds min_age = kStaleTemporaryAge,
                                   std::string_view own_mark = {});

}  // namespace velmarin
