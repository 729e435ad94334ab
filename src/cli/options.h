#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velmarin::cli {

enum class Command {
  kWindow,  // no command: the window
  kHelp,
  kVersion,
  kNextName,
  kProcess,
  kTransfer,
  kHeadless,
  kFireEvent,
  kListSwitchDevices,
  kDicomEcho,
  kSettings,
  kSet,
  kStatus,
};

struct Options {
  Command command = Command::kWindow;
  std::optional<std::string> dir;  // --dir, UTF-8 as typed
  bool user_folder = false;        // --user-folder: ~/Velmarin instead of --dir or the current
  std::optional<std::string> id;   // --id, UTF-8 as typed
  std::vector<std::string> files;  // --process SRC DST, --transfer FILE
  std::vector<std::string> assignments;  // each --set NAME=VALUE, UTF-8 as typed
};

// Parses argv. nullopt with `error` set on a usage error.
std::optional<Options> ParseOptions(int argc, const char* const* argv, std::string* error);

extern const char* const kUsage;

}  // namespace velmarin::cli
