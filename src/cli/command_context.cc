#include "cli/command_context.h"

#include <cstdio>
#include <filesystem>

#include "base/message_subject.h"
#include "platform/encoding.h"
#include "settings/settings_file.h"

namespace velmarin::cli {
namespace {

constexpr std::size_t kMaxIdBytes = 10;

}  // namespace

std::optional<Cp932Text> ParseCaptureId(const Options& options, int* exit_code) {
  if (!options.id || options.id->empty()) return Cp932Text("0");
  auto id = Utf8ToCp932(*options.id);
  if (!id) {
    std::fprintf(stderr, "velmarin: the ID has characters outside code page 932\n");
    *exit_code = 2;
    return std::nullopt;
  }
  if (id->size() > kMaxIdBytes) {
    // Counted in code page 932 bytes, as the ID is stored: a Japanese character takes two.
    std::fprintf(stderr, "velmarin: the ID is longer than %zu bytes in code page 932\n",
                 kMaxIdBytes);
    *exit_code = 2;
    return std::nullopt;
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
      std::fprintf(stderr, "velmarin: cannot make the program folder %s: %s\n", dir.c_str(),
                   ec.message().c_str());
      return std::nullopt;
    }
  } else {
    dir = options.dir ? std::filesystem::path(*options.dir) : std::filesystem::current_path(ec);
    if (ec) {
      std::fprintf(stderr, "velmarin: %s\n", ec.message().c_str());
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
    std::fprintf(stderr, "velmarin: the program folder %s does not exist\n",
                 program_dir->path.c_str());
    return std::nullopt;
  }
  *exit_code = 0;
  return program_dir;
}

std::optional<CommandContext> PrepareCommand(const Options& options, int* exit_code) {
  auto capture_id = ParseCaptureId(options, exit_code);
  if (!capture_id) return std::nullopt;
  auto program_dir = ResolveProgramDir(options, exit_code);
  if (!program_dir) return std::nullopt;
  OwnMessage warning;
  Settings settings = LoadSettings(*program_dir, &warning);
  if (!warning.empty()) PrintMessageLine("", warning.english);
  return CommandContext{std::move(*program_dir), std::move(settings), std::move(*capture_id)};
}

int Failed(std::string_view reason) {
  PrintMessageLine("", reason);
  return 1;
}

void PrintWatchingLine(const std::filesystem::path& folder, bool events) {
  PrintMessageLine("", "watching " + folder.string() + (events ? "" : " (listed every 0.5 s)"));
}

}  // namespace velmarin::cli
