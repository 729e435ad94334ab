#include "settings/user_config.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace velmarin {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string UnknownSetting(const std::string& where, const std::string& key) {
  std::string problem = where;
  problem += ": unknown setting \"" + key + "\"; it is ignored.";
  return problem;
}

// The DICOM keys as given, checked together once the file is read.
struct DicomKeys {
  std::map<std::string, std::pair<std::string, std::string>> values;  // key: value, where

  bool Take(const std::string& key, const std::string& value, const std::string& where) {
    if (!key.starts_with("dicom_")) return false;
    values[key] = {value, where};
    return true;
  }
};

// A whole number in [low, high], or nullopt.
std::optional<int> NumberIn(const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

// Characters, not bytes, of UTF-8 text.
std::size_t CharacterCount(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

void CheckDicomKeys(const DicomKeys& keys, const std::string& file_name, UserConfig& config) {
  if (keys.values.empty()) return;
  config.dicom_named = true;
  DicomDestination destination;
  bool usable = true;
  const auto refuse = [&](const std::string& where, const std::string& why) {
    config.problems.push_back(where + ": " + why +
                              "; nothing is sent to the PACS until it is mended.");
    usable = false;
  };
  for (const char* required : {"dicom_called_ae", "dicom_host", "dicom_port"}) {
    if (!keys.values.contains(required)) {
      refuse(file_name, std::string("the DICOM destination has no ") + required);
    }
  }
  for (const auto& [key, entry] : keys.values) {
    const auto& [value, where] = entry;
    if (key == "dicom_called_ae" || key == "dicom_calling_ae") {
      if (const std::string problem = AeTitleProblem(value); !problem.empty()) {
        std::string why = key;
        why += " \"" + value + "\" ";
        refuse(where, why + problem);
      } else {
        (key == "dicom_called_ae" ? destination.called_ae : destination.calling_ae) = value;
      }
    } else if (key == "dicom_host") {
      if (value.empty()) refuse(where, "dicom_host is empty");
      destination.host = value;
    } else if (key == "dicom_port") {
      const auto port = NumberIn(value, 1, 65535);
      if (!port)
        refuse(where, "dicom_port must be a number from 1 to 65535, not \"" + value + "\"");
      destination.port = port.value_or(0);
    } else if (key == "dicom_timeout") {
      const auto seconds = NumberIn(value, 1, 3600);
      if (!seconds) {
        refuse(where, "dicom_timeout must be seconds from 1 to 3600, not \"" + value + "\"");
      }
      destination.timeout_seconds = seconds.value_or(destination.timeout_seconds);
    } else if (key == "dicom_institution") {
      if (CharacterCount(value) > 64 || value.find('\\') != std::string::npos) {
        refuse(where, "dicom_institution must be at most 64 characters without a backslash");
      }
      destination.institution = value;
    } else {
      config.problems.push_back(UnknownSetting(where, key));
    }
  }
  if (usable) config.dicom = destination;
}

}  // namespace

std::string AeTitleProblem(std::string_view title) {
  if (title.find_first_not_of(' ') == std::string_view::npos) return "is empty";
  if (title.size() > 16) return "is longer than 16 characters";
  if (title.find('\\') != std::string_view::npos) return "holds a backslash";
  for (const char c : title) {
    if (c < 0x20 || c > 0x7e) return "holds a character other than printable ASCII";
  }
  return {};
}

std::filesystem::path UserConfigPath() {
  const char* config_home = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::filesystem::path base;
  if (config_home != nullptr && config_home[0] == '/') {
    base = config_home;
  } else {
    base = std::filesystem::path(home != nullptr ? home : "") / ".config";
  }
  return base / "velmarin" / "velmarin.conf";
}

UserConfig ReadUserConfig(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return ParseUserConfig(text.str(), file.string());
}

UserConfig ParseUserConfig(std::string_view text, const std::string& file_name) {
  UserConfig config;
  DicomKeys dicom;
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
    if (dicom.Take(key, value, where)) continue;
    if (key != "input") {
      config.problems.push_back(UnknownSetting(where, key));
    } else if (value == "auto") {
      config.input = InputBackendSetting::kAuto;
    } else if (value == "xtest") {
      config.input = InputBackendSetting::kXTest;
    } else if (value == "uinput") {
      config.input = InputBackendSetting::kUinput;
    } else {
      config.problems.push_back(where + ": input must be auto, xtest or uinput, not \"" + value +
                                "\"; auto is used.");
    }
  }
  CheckDicomKeys(dicom, file_name, config);
  return config;
}

}  // namespace velmarin
