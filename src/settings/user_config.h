#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/own_message.h"

namespace velmarin {

// How key strokes and clicks are synthesized: chosen from the session (auto), or always one.
enum class InputBackendSetting { kAuto, kXTest, kUinput };

// The PACS each transferred still is also sent to. AE titles are at most 16 characters of
// the DICOM default repertoire without a backslash; text is UTF-8 as the file holds it.
struct DicomDestination {
  std::string called_ae;
  std::string host;
  int port = 0;
  std::string calling_ae = "VELMARIN";
  std::string institution;   // empty: the instances name none
  int timeout_seconds = 30;  // for the association and for each answer
  bool operator==(const DicomDestination&) const = default;
};

// The user's own settings, beside the program folder's "velmarin.ini": lines "key = value",
// '#' starts a comment. Known keys: "input" (auto, xtest or uinput) and the DICOM
// destination's "dicom_called_ae", "dicom_host", "dicom_port", "dicom_calling_ae",
// "dicom_institution", "dicom_timeout". The program never writes this file. Earlier versions
// kept the window's place in it through QSettings, which puts these keys under "[General]":
// the lines of any other "[section]" are skipped.
struct UserConfig {
  InputBackendSetting input = InputBackendSetting::kAuto;
  // Whether any "dicom_" key is given: the station sends to a PACS.
  bool dicom_named = false;
  // The destination when every key it needs is given and usable; a named destination that is
  // not has its reasons among the problems.
  std::optional<DicomDestination> dicom;
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
// A missing file gives the defaults without a problem; one that cannot be read gives them
// with the system's reason as its problem.
UserConfig ReadUserConfig(const std::filesystem::path& file);

// Why `title` cannot be an AE title (empty, over 16 characters, a backslash, a character
// outside printable ASCII); empty when it can.
std::string AeTitleProblem(std::string_view title);

}  // namespace velmarin
