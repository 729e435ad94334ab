#include "settings/program_dir.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/encoding.h"
#include "settings/settings.h"

namespace velmarin {

std::optional<ProgramDir> MakeProgramDir(const std::filesystem::path& path, std::string* error) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) {
    if (error) *error = "cannot resolve the program folder " + path.string() + ": " + ec.message();
    return std::nullopt;
  }
  absolute = absolute.lexically_normal();
  std::string text = absolute.string();
  // No trailing separator except at the root, as a folder is written everywhere else.
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  auto cp932 = Utf8ToCp932(text);
  if (!cp932) {
    if (error) *error = "the program folder " + text + " has characters outside code page 932";
    return std::nullopt;
  }
  // The transfer folder's default, this folder followed by "/hozon", must fit a slot.
  constexpr std::size_t kMaxBytes = kSlotMaxBytes - 6;
  if (cp932->size() > kMaxBytes) {
    if (error)
      *error =
          "the program folder " + text + " is longer than " + std::to_string(kMaxBytes) + " bytes";
    return std::nullopt;
  }
  return ProgramDir{std::filesystem::path(text), std::move(*cp932)};
}

std::filesystem::path UserProgramFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* entry = getpwuid(getuid());
    home = entry != nullptr ? entry->pw_dir : "/";
  }
  return std::filesystem::path(home) / "Velmarin";
}

Cp932Text FolderInProgramDir(const ProgramDir& program_dir, const Cp932Text& folder) {
  if (folder.empty() || folder.view().front() == '/') return folder;
  const bool at_root = program_dir.cp932.view().ends_with('/');
  return program_dir.cp932 + Cp932Text(at_root ? "" : "/") + folder;
}

std::optional<std::filesystem::path> FolderFromSlot(const Cp932Text& slot,
                                                    const ProgramDir& program_dir,
                                                    std::string* error) {
  if (slot.empty()) {
    if (error) *error = "folder not set! ";
    return std::nullopt;
  }
  const auto utf8 = Cp932ToUtf8(FolderInProgramDir(program_dir, slot));
  if (!utf8) {
    if (error) *error = "folder name error! ";
    return std::nullopt;
  }
  return std::filesystem::path(*utf8);
}

}  // namespace velmarin
