#include "cli/settings_command.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/message_subject.h"
#include "cli/command_context.h"
#include "platform/encoding.h"
#include "settings/program_folder_lock.h"
#include "settings/settings_file.h"

namespace velmarin::cli {
namespace {

// The slot and code page 932 value of one "NAME=VALUE"; after printing the reason, exit
// status 2 for an assignment that is not one, 1 for a value that is refused.
CommandStep<std::pair<SettingSlot, Cp932Text>> ParseAssignment(const std::string& assignment) {
  const auto refuse = [](const std::string& subject, const std::string& reason, int code = 1) {
    PrintMessageLine("--set " + subject, reason);
    return ExitWith{code};
  };
  const std::size_t equals = assignment.find('=');
  const std::string name = assignment.substr(0, equals);
  const auto slot = SettingSlotByName(name);
  if (equals == std::string::npos || !slot) {
    std::string names;
    for (int i = 0; i < kSettingSlotCount; ++i) {
      names += (i ? ", " : "") + std::string(SettingName(static_cast<SettingSlot>(i)));
    }
    return refuse(assignment, "not NAME=VALUE with one of the names " + names, 2);
  }
  auto value = Utf8ToCp932(assignment.substr(equals + 1));
  if (!value) {
    return refuse(assignment, "the value has characters outside Shift-JIS (code page 932)");
  }
  // What the dialogs refuse is refused here too: the same check.
  switch (CheckSettingValue(*slot, *value)) {
    case RefusedValue::kNone:
      break;
    case RefusedValue::kLineBreak:
      return refuse(name, "a value cannot hold a line break");
    case RefusedValue::kTooLong:
      return refuse(name, "the value is " + std::to_string(value->size()) +
                              " bytes in Shift-JIS; this setting holds at most " +
                              std::to_string(SettingMaxBytes(*slot)));
    case RefusedValue::kNotAColor:
      return refuse(name, "a colour is six hexadecimal digits (blue, green, red), as FFFFFF");
    case RefusedValue::kEmptyNameFormat:
      return refuse(name, "an empty name format would write every still over one file");
    case RefusedValue::kNotANumber:
      return refuse(name, "the quality is a whole number from " + std::to_string(kMinJpegQuality) +
                              " to " + std::to_string(kMaxJpegQuality));
    case RefusedValue::kQualityOutOfRange:
      return refuse(name, "the quality is from " + std::to_string(kMinJpegQuality) + " to " +
                              std::to_string(kMaxJpegQuality));
    case RefusedValue::kKeyCodeTooLong:
      return refuse(name, "a key code is one character or two hexadecimal digits");
  }
  return std::pair{*slot, std::move(*value)};
}

}  // namespace

int RunSettingsCommand(const Options& options) {
  // Shown as read; no file made, so no lock of the folder is needed.
  auto context = PrepareCommand(options, MissingSettingsFile::kLeave);
  if (!context) return context.exit_code();
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const auto slot = static_cast<SettingSlot>(i);
    int replaced = 0;
    const std::string value = Cp932ToUtf8Replacing(context->settings[slot], &replaced);
    if (replaced > 0) {
      PrintMessageLine("", std::string(SettingName(slot)) +
                               " is not valid Shift-JIS; the bytes that do not convert are "
                               "shown as ?");
    }
    std::printf("%s=%s\n", std::string(SettingName(slot)).c_str(), value.c_str());
  }
  return 0;
}

int RunSetCommand(const Options& options) {
  std::vector<std::pair<SettingSlot, Cp932Text>> changes;
  for (const std::string& assignment : options.assignments) {
    auto change = ParseAssignment(assignment);
    if (!change) return change.exit_code();
    changes.push_back(std::move(*change));
  }
  auto program_dir = ResolveProgramDir(options);
  if (!program_dir) return program_dir.exit_code();
  OwnMessage error;
  const auto lock = ProgramFolderLock::Acquire(*program_dir, &error);
  if (!lock) return Failed(error.english + "; nothing written");

  bool missing = false;
  OwnMessage warning;
  auto on_disk = ReadSettingsFile(*program_dir, &missing, &error, &warning);
  if (!on_disk && !missing) return Failed(error.english + "; nothing written");
  if (!warning.empty()) PrintMessageLine("", warning.english);
  const Settings baseline = on_disk ? *on_disk : DefaultSettings(program_dir->cp932);
  Settings changed = baseline;
  for (auto& [slot, value] : changes) changed[slot] = std::move(value);
  const bool saved = missing ? SaveSettings(*program_dir, changed, &error)
                             : SaveChangedSettings(*program_dir, baseline, changed, &error);
  return saved ? 0 : Failed(error.english);
}

}  // namespace velmarin::cli
