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

CommandStep<Cp932Text> ParseCaptureId(const Options& options) {
  TypedTextError error{};
  auto id = CaptureIdFromTyped(options.id.value_or(""), &error);
  if (!id) {
    PrintMessageLine("", CaptureIdRefusal(error));
    return ExitWith{2};
  }
  return std::move(*id);
}

CommandStep<ProgramDir> ResolveProgramDir(const Options& options) {
  constexpr ExitWith kFailed{1};
  std::error_code ec;
  std::filesystem::path dir;
  if (options.user_folder) {
    dir = UserProgramFolder();
    if (std::filesystem::create_directory(dir, ec); ec) {
      PrintMessageLine("", "cannot make the program folder " + dir.string() + ": " + ec.message());
      return kFailed;
    }
  } else {
    dir = options.dir ? std::filesystem::path(*options.dir) : std::filesystem::current_path(ec);
    if (ec) {
      PrintMessageLine("", ec.message());
      return kFailed;
    }
  }
  std::string error;
  auto program_dir = MakeProgramDir(dir, &error);
  if (!program_dir) {
    PrintMessageLine("", error);
    return kFailed;
  }
  if (!std::filesystem::is_directory(program_dir->path, ec)) {
    PrintMessageLine("", "the program folder " + program_dir->path.string() + " does not exist");
    return kFailed;
  }
  return std::move(*program_dir);
}

CommandStep<CommandContext> PrepareCommand(const Options& options,
                                           MissingSettingsFile missing_file) {
  auto capture_id = ParseCaptureId(options);
  if (!capture_id) return ExitWith{capture_id.exit_code()};
  auto program_dir = ResolveProgramDir(options);
  if (!program_dir) return ExitWith{program_dir.exit_code()};
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
