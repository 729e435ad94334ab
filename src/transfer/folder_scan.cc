#include "transfer/folder_scan.h"

#include "platform/encoding.h"

namespace velmarin {

bool IsImageFileName(std::string_view name) {
  for (std::string_view marker : {".jpg", ".JPG", ".bmp", ".BMP"}) {
    if (name.find(marker) != std::string_view::npos) return true;
  }
  return false;
}

ScanResult SummarizeImages(const std::vector<DirectoryEntry>& entries) {
  ScanResult result;
  for (const DirectoryEntry& entry : entries) {
    if (!entry.regular_file || !IsImageFileName(entry.name)) continue;
    ++result.count;
    if (result.count == 1 || entry.creation_time_ns > result.newest_time) {
      result.newest = entry.name;
      result.newest_time = entry.creation_time_ns;
    }
  }
  return result;
}

ScanResult ScanWatchFolder(const std::filesystem::path& folder) {
  const auto entries = ListDirectory(folder);
  return entries ? SummarizeImages(*entries) : ScanResult{};
}

std::optional<std::filesystem::path> FolderFromSlot(std::string_view slot_cp932,
                                                    const ProgramDir& program_dir,
                                                    std::string* error) {
  if (slot_cp932.empty()) {
    if (error) *error = "folder not set! ";
    return std::nullopt;
  }
  const auto utf8 = Cp932ToUtf8(slot_cp932);
  if (!utf8) {
    if (error) *error = "folder name error! ";
    return std::nullopt;
  }
  const std::filesystem::path folder(*utf8);
  return folder.is_absolute() ? folder : program_dir.path / folder;
}

}  // namespace velmarin
