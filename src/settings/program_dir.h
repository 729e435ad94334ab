#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"

namespace velmarin {

// The program folder: it holds "velmarin.ini", "hozon" and "bkup". Kept both as a
// file-system path and as the code page 932 text that settings values are made of.
struct ProgramDir {
  std::filesystem::path path;
  Cp932Text cp932;
};

// A folder setting (code page 932) as a path to use: a relative one lies in the program
// folder, as it did when the program folder was the current one. Empty stays empty.
Cp932Text FolderInProgramDir(const ProgramDir& program_dir, const Cp932Text& folder);

// The same as the file-system path to use. nullopt with `error` (optional; "folder not set! "
// or "folder name error! ") when the setting is empty, so the root folder is never watched or
// emptied by mistake, or when it does not convert.
std::optional<std::filesystem::path> FolderFromSlot(const Cp932Text& slot,
                                                    const ProgramDir& program_dir,
                                                    std::string* error);

// The program folder of a start from the desktop menu or of the user service, where the
// current folder is the home folder: "Velmarin" in $HOME (else the home of the password
// database). Not created here.
std::filesystem::path UserProgramFolder();

// Makes the program folder from `path` (made absolute). Fails with a message when the
// folder's name cannot be written in code page 932, as the settings file needs it.
std::optional<ProgramDir> MakeProgramDir(const std::filesystem::path& path, std::string* error);

}  // namespace velmarin
