#include "transfer/folder_scan.h"

#include "platform/encoding.h"

namespace velmarin {

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
