#pragma once

#include <filesystem>

namespace velmarin {

// Copies `source` to `target`, overwriting it, through a temporary file beside the target
// that is flushed to disk and renamed into place: the target is either the old file or the
// complete copy, never a part. False (and the temporary removed) on any failure.
bool CopyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace velmarin
