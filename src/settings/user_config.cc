#include "settings/user_config.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "base/errno_text.h"
#include "platform/xdg_folders.h"

namespace velmarin {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Where a line of the file is, in each language.
struct Where {
  std::string english;
  std::string japanese;
};

Where LineOf(const std::string& file_name, int number) {
  return {file_name + " line " + std::to_string(number),
          file_name + " の " + std::to_string(number) + " 行目"};
}

OwnMessage UnknownSetting(const Where& where, const std::string& key) {
  return {where.english + ": unknown setting \"" + key + "\"; it is ignored.",
          where.japanese + ": 設定「" + key + "」はないため、読み飛ばします。"};
}

// The DICOM keys as given, checked together once the file is read.
struct DicomKeys {
  std::map<std::string, std::pair<std::string, Where>> values;  // key: value, where

  bool Take(const std::string& key, const std::string& value, const Where& where) {
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
  const auto refuse = [&](const Where& where, const std::string& why, const std::string& japanese) {
    config.problems.push_back(
        {where.english + ": " + why + "; nothing is sent to the PACS until it is mended.",
         where.japanese + ": " + japanese + "。直すまで PACS へは送信しません。"});
    usable = false;
  };
  const Where file{file_name, file_name};
  for (const char* required : {"dicom_called_ae", "dicom_host", "dicom_port"}) {
    if (!keys.values.contains(required)) {
      refuse(file, std::string("the DICOM destination has no ") + required,
             std::string("DICOM 送信先に ") + required + " がありません");
    }
  }
  for (const auto& [key, entry] : keys.values) {
    const auto& [value, where] = entry;
    if (key == "dicom_called_ae" || key == "dicom_calling_ae") {
      if (const std::string problem = AeTitleProblem(value); !problem.empty()) {
        std::string why = key;
        why += " \"" + value + "\" ";
        why += problem;
        std::string japanese = key;
        japanese += " の「" + value + "」は AE タイトルになりません";
        refuse(where, why, japanese + "（16 文字以内の ASCII、バックスラッシュなし）");
      } else {
        (key == "dicom_called_ae" ? destination.called_ae : destination.calling_ae) = value;
      }
    } else if (key == "dicom_host") {
      if (value.empty()) refuse(where, "dicom_host is empty", "dicom_host が空です");
      destination.host = value;
    } else if (key == "dicom_port") {
      const auto port = NumberIn(value, 1, 65535);
      if (!port) {
        refuse(where, "dicom_port must be a number from 1 to 65535, not \"" + value + "\"",
               "dicom_port は 1 から 65535 までの数です（「" + value + "」ではありません）");
      }
      destination.port = port.value_or(0);
    } else if (key == "dicom_timeout") {
      const auto seconds = NumberIn(value, 1, 3600);
      if (!seconds) {
        refuse(where, "dicom_timeout must be seconds from 1 to 3600, not \"" + value + "\"",
               "dicom_timeout は 1 から 3600 までの秒数です（「" + value + "」ではありません）");
      }
      destination.timeout_seconds = seconds.value_or(destination.timeout_seconds);
    } else if (key == "dicom_institution") {
      if (CharacterCount(value) > 64 || value.find('\\') != std::string::npos) {
        refuse(where, "dicom_institution must be at most 64 characters without a backslash",
               "dicom_institution は 64 文字以内で、バックスラッシュを含められません");
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
  return XdgBaseFolder("XDG_CONFIG_HOME", ".config") / "velmarin" / "velmarin.conf";
}

std::filesystem::path UserStateFolder() {
  return XdgBaseFolder("XDG_STATE_HOME", ".local/state") / "velmarin";
}

UserConfig ReadUserConfig(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in && errno != ENOENT) {
    // There, but not for this user: said, so a PACS it names is not dropped without a word.
    const std::string reason = ErrnoText(errno);
    UserConfig config;
    config.problems.push_back(
        {file.string() + " cannot be read: " + reason + "; its settings are not used.",
         file.string() + " を読めません（" + reason + "）。その設定は使いません。"});
    return config;
  }
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
    const Where where = LineOf(file_name, number);
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
      config.problems.push_back({where.english + ": input must be auto, xtest or uinput, not \"" +
                                     value + "\"; auto is used.",
                                 where.japanese +
                                     ": input は auto、xtest、uinput のどれかです（「" + value +
                                     "」ではありません）。auto で動きます。"});
    }
  }
  CheckDicomKeys(dicom, file_name, config);
  return config;
}

}  // namespace velmarin
