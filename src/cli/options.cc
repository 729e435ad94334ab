#include "cli/options.h"

#include <getopt.h>

#include <algorithm>
#include <iterator>

namespace velmarin::cli {

const char* const kUsage =
    "Usage: velmarin [--dir DIR | --user-folder] [--id ID] [COMMAND]\n"
    "\n"
    "Takes the stills a capture program saves into the watch folder over into the transfer\n"
    "folder, and turns a foot switch into the capture program's key stroke or click.\n"
    "Without a command it opens the window (an X11 or XWayland display is needed). Where a\n"
    "station already runs on the program folder (the window or --headless, the user service\n"
    "on ~/Velmarin included), --id hands the ID to it over the session bus instead (monitoring\n"
    "goes on with it, as when it is typed there) and prints the station's answer.\n"
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
    "  --dicom-echo             check the DICOM destination of velmarin.conf with a C-ECHO\n"
    "                           and say what failed: no route, refused, wrong AE title\n"
    "  --settings               print the 19 settings as NAME=VALUE, one per line\n"
    "  --set NAME=VALUE         change a setting in velmarin.ini (repeatable); refused, and\n"
    "                           nothing written, for an unknown NAME or a VALUE that is not\n"
    "                           Shift-JIS or longer than 499 bytes in it\n"
    "  --status                 print the state of the station running on the program folder\n"
    "                           as NAME=VALUE lines, read over the session bus\n"
    "  --help, --version\n"
    "\n"
    "Options:\n"
    "  --dir DIR        program folder holding velmarin.ini, hozon and bkup (default: current)\n"
    "  --user-folder    program folder ~/Velmarin, made when missing (the menu entry's)\n"
    "  --id ID          the capture ID, at most 10 bytes in Shift-JIS (empty gives \"0\")\n"
    "\n"
    "Exit status: 0 success, 1 failure (reason on stderr), 2 usage error.\n";

namespace {

// getopt_long's values for the options; commands keep their Command in `CommandSpec`.
enum OptionValue : int {
  kDir = 256,
  kUserFolder,
  kId,
  kSet,
  kFirstCommand,  // kFirstCommand + index into kCommands
};

struct CommandSpec {
  const char* name;  // without the leading "--"
  Command command;
  int file_count;
};

constexpr CommandSpec kCommands[] = {
    {"help", Command::kHelp, 0},
    {"version", Command::kVersion, 0},
    {"next-name", Command::kNextName, 0},
    {"process", Command::kProcess, 2},
    {"transfer", Command::kTransfer, 1},
    {"headless", Command::kHeadless, 0},
    {"fire-event", Command::kFireEvent, 0},
    {"list-switch-devices", Command::kListSwitchDevices, 0},
    {"dicom-echo", Command::kDicomEcho, 0},
    {"settings", Command::kSettings, 0},
    {"status", Command::kStatus, 0},
};
constexpr int kCommandCount = static_cast<int>(std::size(kCommands));

std::vector<option> LongOptions() {
  std::vector<option> options = {
      {"dir", required_argument, nullptr, kDir},
      {"user-folder", no_argument, nullptr, kUserFolder},
      {"id", required_argument, nullptr, kId},
      {"set", required_argument, nullptr, kSet},
  };
  for (int i = 0; i < kCommandCount; ++i) {
    options.push_back({kCommands[i].name,
                       kCommands[i].file_count > 0 ? required_argument : no_argument, nullptr,
                       kFirstCommand + i});
  }
  options.push_back({nullptr, 0, nullptr, 0});
  return options;
}

// The option as the user names it in messages.
std::string OptionName(int value, const std::vector<option>& options) {
  if (value == 'h') return "-h";
  for (const option& candidate : options) {
    if (candidate.name != nullptr && candidate.val == value)
      return "--" + std::string(candidate.name);
  }
  return "";
}

}  // namespace

std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string* error) {
  // getopt_long may reorder what it is given, so it gets a copy.
  std::vector<std::string> storage(argv, argv + argc);
  std::vector<char*> args;
  for (std::string& arg : storage) args.push_back(arg.data());
  args.push_back(nullptr);
  const std::vector<option> long_options = LongOptions();

  Options options;
  bool have_command = false;  // none: the window
  auto take_command = [&](Command command, const std::string& name) {
    if (have_command && !(command == Command::kSet && options.command == Command::kSet)) {
      *error = "only one command at a time: " + name;
      return false;
    }
    have_command = true;
    options.command = command;
    return true;
  };

  // "+": the first argument that is no option ends the options, and is refused below.
  // ":": a missing value is told apart from an unknown option.
  optind = 0;  // glibc: start over, as each call parses a new argument list
  opterr = 0;
  for (;;) {
    const int at = std::max(optind, 1);  // the argument getopt_long looks at next
    const int value = getopt_long(argc, args.data(), "+:h", long_options.data(), nullptr);
    if (value == -1) break;
    if (value == '?') {
      *error = "unknown argument: " + std::string(argv[at]);
      return std::nullopt;
    }
    if (value == ':') {
      const std::string name = OptionName(optopt, long_options);
      const int command = optopt - kFirstCommand;
      *error = command >= 0 && command < kCommandCount
                   ? name + " needs " + std::to_string(kCommands[command].file_count) + " file(s)"
                   : name + " needs a value";
      return std::nullopt;
    }
    switch (value) {
      case kDir:
        options.dir = optarg;
        continue;
      case kUserFolder:
        options.user_folder = true;
        continue;
      case kId:
        options.id = optarg;
        continue;
      case kSet:
        if (!take_command(Command::kSet, "--set")) return std::nullopt;
        options.assignments.emplace_back(optarg);
        continue;
      case 'h':
        if (!take_command(Command::kHelp, "-h")) return std::nullopt;
        continue;
      default:
        break;
    }
    const CommandSpec& spec = kCommands[value - kFirstCommand];
    if (!take_command(spec.command, "--" + std::string(spec.name))) return std::nullopt;
    if (spec.file_count == 0) continue;
    options.files.emplace_back(optarg);
    // A command's further files follow its option as separate arguments.
    for (int f = 1; f < spec.file_count; ++f) {
      if (optind >= argc) {
        *error = "--" + std::string(spec.name) + " needs " + std::to_string(spec.file_count) +
                 " file(s)";
        return std::nullopt;
      }
      options.files.emplace_back(argv[optind++]);
    }
  }
  if (optind < argc) {
    *error = "unknown argument: " + std::string(argv[optind]);
    return std::nullopt;
  }
  if (options.dir && options.user_folder) {
    *error = "--dir and --user-folder both name the program folder";
    return std::nullopt;
  }
  return options;
}

}  // namespace velmarin::cli
