#include "cli/command_context.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "base/errno_text.h"
#include "base/message_subject.h"
#include "control/capture_id.h"
#include "platform/encoding.h"
#include "settings/settings_file.h"

namespace velmarin::cli {

std::optional<Cp932Text> ParseCaptureId(const Options& options, int* exit_code) {
  TypedTextError error{};
  auto id = CaptureIdFromTyped(options.id.value_or(""), &error);
  if (!id) {
    PrintMessageLine("", CaptureIdRefusal(error));
    *exit_code = 2;
  }
  return id;
}

std::optional<ProgramDir> ResolveProgramDir(const Options& options, int* exit_code) {
  *exit_code = 1;
  std::error_code ec;
  std::filesystem::path dir;
  if (options.user_folder) {
    dir = UserProgramFolder();
    if (std::filesystem::create_directory(dir, ec); ec) {
      PrintMessageLine("", "cannot make the program folder " + dir.string() + ": " + ec.message());
      return std::nullopt;
    }
  } else {
    dir = options.dir ? std::filesystem::path(*options.dir) : std::filesystem::current_path(ec);
    if (ec) {
      PrintMessageLine("", ec.message());
      return std::nullopt;
    }
  }
  std::string error;
  auto program_dir = MakeProgramDir(dir, &error);
  if (!program_dir) {
    PrintMessageLine("", error);
    return std::nullopt;
  }
  if (!std::filesystem::is_directory(program_dir->path, ec)) {
    PrintMessageLine("", "the program folder " + program_dir->path.string() + " does not exist");
    return std::nullopt;
  }
  *exit_code = 0;
  return program_dir;
}

std::optional<CommandContext> PrepareCommand(const Options& options, int* exit_code,
                                             MissingSettingsFile missing_file) {
  auto capture_id = ParseCaptureId(options, exit_code);
  if (!capture_id) return std::nullopt;
  auto program_dir = ResolveProgramDir(options, exit_code);
  if (!program_dir) return std::nullopt;
  OwnMessage warning;
  Settings settings = LoadSettings(*program_dir, &warning, nullptr, missing_file);
  if (!warning.empty()) PrintMessageLine("", warning.english);
  return CommandContext{std::move(*program_dir), std::move(settings), std::move(*capture_id)};
}

int Failed(std::string_view reason) {
  PrintMessageLine("", reason);
  return 1;
}

int FinishStandardOutput(int exit_code) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && std::ferror(stdout) == 0) return exit_code;
  // An earlier failed write leaves only the error flag behind, not its reason.
  return Failed("cannot write to standard output: " +
                (flushed || errno == 0 ? std::string("write error") : ErrnoText(errno)));
}

void PrintWatchingLine(const std::filesystem::path& folder, bool events) {
  PrintMessageLine("", "watching " + folder.string() + (events ? "" : " (looked at every 0.5 s)"));
}

}  // namespace velmarin::cli
