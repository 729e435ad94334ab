#include "transfer/folder_scan.h"

#include "platform/encoding.h"

namespace velmarin {

std::optional<std::filesystem::path> FolderFromSlot(const Cp932Text& slot,
                                                    const ProgramDir& program_dir,
                                                    Cp932Text* error) {
  if (slot.empty()) {
    if (error) *error = Cp932Text("folder not set! ");
    return std::nullopt;
  }
  const auto utf8 = Cp932ToUtf8(slot);
  if (!utf8) {
    if (error) *error = Cp932Text("folder name error! ");
    return std::nullopt;
  }
  const std::filesystem::path folder(*utf8);
  return folder.is_absolute() ? folder : program_dir.path / folder;
}

}  // namespace velmarin
