#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/directory_listing.h"
#include "settings/program_dir.h"

namespace velmarin {

struct ScanResult {
  int count = 0;                 // image files in the folder
  std::string newest;            // name of the newest of them, empty when there is none
  std::int64_t newest_time = 0;  // its creation time (ns since the epoch)
};

// True when a name counts as an image: it contains ".jpg", ".JPG", ".bmp" or ".BMP"
// anywhere (so "a.jpg.txt" counts, "a.Jpg" and "a.jpeg" do not).
bool IsImageFileName(std::string_view name);

// Counts the image files among `entries` (in listing order) and picks the newest by
// creation time: the first image listed is taken without comparison, a later one only when
// strictly newer, so of equal times the one listed first stays. Only regular files count: a
// folder, FIFO, device or dangling link named like an image is never counted nor opened.
ScanResult SummarizeImages(const std::vector<DirectoryEntry>& entries);

// SummarizeImages of the listing of `folder`; a folder that cannot be listed counts as empty.
ScanResult ScanWatchFolder(const std::filesystem::path& folder);

// The file-system path of a folder slot (code page 932). A relative value is taken inside
// the program folder. nullopt with `error` (code page 932) when the slot is empty, so the
// root folder is never watched or emptied by mistake, or when it does not convert.
std::optional<std::filesystem::path> FolderFromSlot(std::string_view slot_cp932,
                                                    const ProgramDir& program_dir,
                                                    std::string* error);

}  // namespace velmarin
