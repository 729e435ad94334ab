#pragma once

#include <filesystem>

#include "base/file_naming.h"

namespace velmarin {

// Copies `source` to `target`, overwriting it, through a temporary file beside the target
// that is flushed to disk and renamed into place: the target is either the old file or the
// complete copy, never a part. False (and the temporary removed) on any failure.
bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target);
// The same for a copy whose name is given by `target`.
bool CopyFileAtomically(const std::filesystem::path& source, FileNaming& target);

}  // namespace velmarin
