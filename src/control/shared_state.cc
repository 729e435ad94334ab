#include "control/shared_state.h"

namespace velmarin {

Settings SharedState::settings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

Cp932Text SharedState::Slot(SettingSlot slot) const {
  std::lock_guard lock(mutex_);
  return settings_[slot];
}

void SharedState::SetSettings(Settings settings) {
  std::lock_guard lock(mutex_);
  settings_ = std::move(settings);
}

void SharedState::SetSlot(SettingSlot slot, Cp932Text value) {
  std::lock_guard lock(mutex_);
  settings_[slot] = std::move(value);
}

Settings SharedState::FileSettings() const {
  std::lock_guard lock(mutex_);
  return file_settings_;
}

void SharedState::SetLoadedSettings(Settings settings) {
  std::lock_guard lock(mutex_);
  file_settings_ = settings;
  settings_ = std::move(settings);
}

void SharedState::SetFileSettings(Settings saved) {
  std::lock_guard lock(mutex_);
  file_settings_ = std::move(saved);
}

Cp932Text SharedState::CaptureId() const {
  std::lock_guard lock(mutex_);
  return capture_id_;
}

void SharedState::SetCaptureId(Cp932Text id) {
  std::lock_guard lock(mutex_);
  capture_id_ = std::move(id);
}

}  // namespace velmarin
