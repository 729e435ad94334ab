#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "settings/program_dir.h"

namespace velmarin {

// The file-system path of a folder slot (code page 932). A relative value is taken inside
// the program folder. nullopt with `error` when the slot is empty, so the
// root folder is never watched or emptied by mistake, or when it does not convert.
std::optional<std::filesystem::path> FolderFromSlot(const Cp932Text& slot,
                                                    const ProgramDir& program_dir,
                                                    Cp932Text* error);

}  // namespace velmarin
