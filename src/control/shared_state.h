#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/last_error_text.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "switch/switch_device.h"

namespace velmarin {

// What the user-interface thread and the two worker threads share. Settings and the ID
// are copied whole under a lock; the flags and counts are atomics.
class SharedState {
 public:
  explicit SharedState(ProgramDir program_dir) : program_dir_(std::move(program_dir)) {}

  const ProgramDir& program_dir() const { return program_dir_; }

  // The record every front end reads and changes (settings commands store into it).
  Settings settings() const;
  Cp932Text Slot(SettingSlot slot) const;
  void SetSettings(Settings settings);
  void SetSlot(SettingSlot slot, Cp932Text value);

  // The record as the settings file held it when loaded or last saved. A slot whose value in
  // settings() differs from it counts as changed in this run; only those are written back.
  Settings FileSettings() const;
  // After loading the file: the record and the file record both become `settings`.
  void SetLoadedSettings(Settings settings);
  // After saving: `saved` is what the file now holds for this run's changes.
  void SetFileSettings(Settings saved);

  // At most 10 characters; exchanged whole so a name or stamp never sees half of an ID.
  Cp932Text CaptureId() const;
  void SetCaptureId(Cp932Text id);

  std::atomic<bool> monitoring_active{false};
  std::atomic<SwitchKind> switch_kind{SwitchKind::kNone};
  std::atomic<std::int32_t> image_count{0};
  LastErrorText last_error;

 private:
  const ProgramDir program_dir_;
  mutable std::mutex mutex_;
  Settings settings_;
  Settings file_settings_;
  Cp932Text capture_id_{"0"};
};

}  // namespace velmarin
