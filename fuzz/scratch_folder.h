// What the fuzz targets that write files share: a check that aborts, and a folder of their own
// in the temporary folder, made at the first call and removed at exit.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace velmarin::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// Never destroyed, so that the removal at exit still finds it.
inline const std::filesystem::path*& ScratchFolderSlot() {
  static const std::filesystem::path* folder = nullptr;
  return folder;
}

inline void RemoveScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(*ScratchFolderSlot(), ignored);
}

// The folder "<temporary folder>/<prefix>-XXXXXX"; the prefix of the first call names it.
inline const std::filesystem::path& ScratchFolder(std::string_view prefix) {
  if (ScratchFolderSlot() == nullptr) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    Require(mkdtemp(pattern.data()) != nullptr);
    ScratchFolderSlot() = new std::filesystem::path(pattern);
    std::atexit(RemoveScratchFolder);
  }
  return *ScratchFolderSlot();
}

}  // namespace velmarin::fuzz
