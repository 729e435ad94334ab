#include "settings/user_config.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace velmarin {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The folder an XDG base-directory variable names when it holds an absolute path, else
// `fallback` in the home folder.
std::filesystem::path XdgFolder(const char* variable, const char* fallback) {
  const char* named = std::getenv(variable);
  if (named != nullptr && named[0] == '/') return named;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / fallback;
}

}  // namespace

std::filesystem::path UserConfigPath() {
  return XdgFolder("XDG_CONFIG_HOME", ".config") / "velmarin" / "velmarin.conf";
}

std::filesystem::path UserStateFolder() {
  return XdgFolder("XDG_STATE_HOME", ".local/state") / "velmarin";
}

UserConfig ReadUserConfig(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return ParseUserConfig(text.str(), file.string());
}

UserConfig ParseUserConfig(std::string_view text, const std::string& file_name) {
  UserConfig config;
  std::istringstream in{std::string(text)};
  std::string line;
  bool own_section = true;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trimmed(line.substr(0, line.find('#')));
    if (line.starts_with('[')) own_section = line == "[General]";
    if (line.empty() || line.starts_with('[') || !own_section) continue;
    const auto equals = line.find('=');
    const std::string key = Trimmed(line.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : Trimmed(line.substr(equals + 1));
    const std::string where = file_name + " line " + std::to_string(number);
    if (key != "input") {
      config.problems.push_back({where + ": unknown setting \"" + key + "\"; it is ignored.",
                                 file_name + " の " + std::to_string(number) + " 行目: 設定「" +
                                     key + "」はないため、読み飛ばします。"});
    } else if (value == "auto") {
      config.input = InputBackendSetting::kAuto;
    } else if (value == "xtest") {
      config.input = InputBackendSetting::kXTest;
    } else if (value == "uinput") {
      config.input = InputBackendSetting::kUinput;
    } else {
      config.problems.push_back(
          {where + ": input must be auto, xtest or uinput, not \"" + value + "\"; auto is used.",
           file_name + " の " + std::to_string(number) +
               " 行目: input は auto、xtest、uinput "
               "のどれかです（「" +
               value + "」ではありません）。auto で動きます。"});
    }
  }
  return config;
}

}  // namespace velmarin
