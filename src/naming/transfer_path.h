#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "naming/local_time.h"

namespace velmarin {

// True when a file-status query on `path` succeeds (files and folders alike).
bool PathExists(const std::filesystem::path& path);

// Creates every missing folder on the way to the file `path`; true when all exist after.
bool EnsureParentFolders(const std::filesystem::path& path);

// The full target path of the next transferred image: `name_format` expanded with
// `capture_id` and `now`, placed in `transfer_folder` with ".jpg" appended, "$r" resolved to
// a free serial number, missing folders created. Inputs are code page 932; the result is a
// UTF-8 file-system path in which every backslash of the expansion became a "/".
// nullopt with `error` set when no safe path can be built (nothing is ever overwritten).
std::optional<std::filesystem::path> BuildTransferPath(std::string_view name_format,
                                                       std::string_view capture_id,
                                                       std::string_view transfer_folder,
                                                       const LocalTime& now, std::string* error);

}  // namespace velmarin
