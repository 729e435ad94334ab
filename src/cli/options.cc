#include "cli/options.h"

#include <string_view>

namespace velmarin::cli {

const char* const kUsage =
    "Usage: velmarin [--dir DIR | --user-folder] [--id ID] [COMMAND]\n"
    "\n"
    "Takes the stills a capture program saves into the watch folder over into the transfer\n"
    "folder, and turns a foot switch into the capture program's key stroke or click.\n"
    "Without a command it opens the window (an X11 or XWayland display is needed).\n"
    "\n"
    "Commands:\n"
    "  --headless               monitor the watch folder and the switch until SIGINT/SIGTERM;\n"
    "                           prints \"COUNT<TAB>PATH\" for every image taken over\n"
    "  --transfer FILE          take FILE over once, as the monitor would; prints the path\n"
    "  --process SRC DST        fill the range and stamp the texts of SRC into the JPEG DST\n"
    "  --next-name              print the path the next image would be written to\n"
    "  --fire-event             wait two seconds, then send the configured key or click\n"
    "  --list-switch-devices    print the switch devices that can be chosen; says on stderr\n"
    "                           which input backend sends key strokes and clicks, and why\n"
    "  --settings               print the 19 settings as NAME=VALUE, one per line\n"
    "  --set NAME=VALUE         change a setting in velmarin.ini (repeatable); refused, and\n"
    "                           nothing written, for an unknown NAME or a VALUE that is not\n"
    "                           Shift-JIS or longer than 499 bytes in it\n"
    "  --help, --version\n"
    "\n"
    "Options:\n"
    "  --dir DIR        program folder holding velmarin.ini, hozon and bkup (default: current)\n"
    "  --user-folder    program folder ~/Velmarin, made when missing (the menu entry's)\n"
    "  --id ID          the capture ID, at most 10 bytes in Shift-JIS (empty gives \"0\")\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 usage error.\n";

namespace {

struct CommandSpec {
  std::string_view flag;
  Command command;
  int file_count;
};

constexpr CommandSpec kCommands[] = {
    {"--help", Command::kHelp, 0},
    {"-h", Command::kHelp, 0},
    {"--version", Command::kVersion, 0},
    {"--next-name", Command::kNextName, 0},
    {"--process", Command::kProcess, 2},
    {"--transfer", Command::kTransfer, 1},
    {"--headless", Command::kHeadless, 0},
    {"--fire-event", Command::kFireEvent, 0},
    {"--list-switch-devices", Command::kListSwitchDevices, 0},
    {"--settings", Command::kSettings, 0},
};

}  // namespace

std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string* error) {
  Options options;
  bool have_command = false;  // none: the window
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto take_value = [&](std::optional<std::string>& into) {
      if (i + 1 >= argc) {
        *error = std::string(arg) + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    if (arg == "--dir") {
      if (!take_value(options.dir)) return std::nullopt;
      continue;
    }
    if (arg == "--user-folder") {
      options.user_folder = true;
      continue;
    }
    if (arg == "--id") {
      if (!take_value(options.id)) return std::nullopt;
      continue;
    }
    if (arg == "--set") {
      std::optional<std::string> assignment;
      if (!take_value(assignment)) return std::nullopt;
      if (have_command && options.command != Command::kSet) {
        *error = "only one command at a time: --set";
        return std::nullopt;
      }
      have_command = true;
      options.command = Command::kSet;
      options.assignments.push_back(std::move(*assignment));
      continue;
    }
    const CommandSpec* spec = nullptr;
    for (const CommandSpec& candidate : kCommands) {
      if (candidate.flag == arg) spec = &candidate;
    }
    if (spec == nullptr) {
      *error = "unknown argument: " + std::string(arg);
      return std::nullopt;
    }
    if (have_command) {
      *error = "only one command at a time: " + std::string(arg);
      return std::nullopt;
    }
    have_command = true;
    options.command = spec->command;
    for (int f = 0; f < spec->file_count; ++f) {
      if (i + 1 >= argc) {
        *error = std::string(arg) + " needs " + std::to_string(spec->file_count) + " file(s)";
        return std::nullopt;
      }
      options.files.emplace_back(argv[++i]);
    }
  }
  if (options.dir && options.user_folder) {
    *error = "--dir and --user-folder both name the program folder";
    return std::nullopt;
  }
  return options;
}

}  // namespace velmarin::cli
