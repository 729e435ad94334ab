#include "control/monitoring_commands.h"

#include "platform/encoding.h"

namespace velmarin {
namespace {

// The program's own texts are written here in UTF-8; they all convert.
Cp932Text Cp932(std::string_view utf8) { return Utf8ToCp932Replacing(utf8); }

}  // namespace

Cp932Text MonitoringStatusText(SwitchKind switch_kind, const Cp932Text& switch_device) {
  if (switch_kind == SwitchKind::kError) return switch_device + Cp932("スイッチエラー 監視中");
  if (switch_device.view().find("NONE") != std::string_view::npos) {
    return Cp932("スイッチ未接続 監視中");
  }
  return switch_device + Cp932(" 監視中");
}

Cp932Text PausedStatusText() { return Cp932("監視休止中"); }

Cp932Text EnterIdStatusText() { return Cp932("IDを入力して下さい"); }

void TakeCaptureId(SharedState& state, Cp932Text id) {
  if (id.empty()) id = Cp932Text("0");
  state.SetCaptureId(std::move(id));
  state.last_error.Clear();
  state.image_count = 0;
}

Cp932Text StartMonitoringWithId(SharedState& state, MonitoringController& controller,
                                Cp932Text id) {
  TakeCaptureId(state, std::move(id));
  Cp932Text status = MonitoringStatusText(state.switch_kind, state.Slot(SettingSlot::SwitchDevice));
  controller.StartIfStopped();
  return status;
}

Cp932Text StopMonitoring(MonitoringController& controller) {
  controller.Stop();
  return PausedStatusText();
}

}  // namespace velmarin
