#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/own_message.h"

namespace velmarin {

// How key strokes and clicks are synthesized: chosen from the session (auto), or always one.
enum class InputBackendSetting { kAuto, kXTest, kUinput };

// The user's own settings, beside the program folder's "velmarin.ini": lines "key = value",
// '#' starts a comment. Known key: "input" (auto, xtest or uinput). The program never writes
// this file. Earlier versions kept the window's place in it through QSettings, which puts
// these keys under "[General]": the lines of any other "[section]" are skipped.
struct UserConfig {
  InputBackendSetting input = InputBackendSetting::kAuto;
  // Lines that could not be used, each as a sentence for the user.
  std::vector<OwnMessage> problems;
};

// $XDG_CONFIG_HOME/velmarin/velmarin.conf, else ~/.config/velmarin/velmarin.conf.
std::filesystem::path UserConfigPath();

// Where the program keeps what it remembers for the user (the window's place):
// $XDG_STATE_HOME/velmarin, else ~/.local/state/velmarin. Not created here.
std::filesystem::path UserStateFolder();

// The settings in `text`; problems name the lines as of `file_name`.
UserConfig ParseUserConfig(std::string_view text, const std::string& file_name);
// A missing file gives the defaults without a problem.
UserConfig ReadUserConfig(const std::filesystem::path& file);

}  // namespace velmarin
