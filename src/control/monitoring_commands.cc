#include "control/monitoring_commands.h"

#include "platform/encoding.h"

namespace velmarin {
namespace {

// The program's own texts are written here in UTF-8 and used in code page 932, like every
// other text the program shows or stores; these always convert.
std::string Cp932(std::string_view utf8) { return Utf8ToCp932(utf8).value_or(std::string()); }

}  // namespace

std::string MonitoringStatusText(SwitchKind switch_kind, std::string_view switch_device) {
  if (switch_kind == SwitchKind::kError)
    return std::string(switch_device) + Cp932("スイッチエラー 監視中");
  if (switch_device.find("NONE") != std::string_view::npos) return Cp932("スイッチ未接続 監視中");
  return std::string(switch_device) + Cp932(" 監視中");
}

std::string PausedStatusText() { return Cp932("監視休止中"); }

std::string EnterIdStatusText() { return Cp932("IDを入力して下さい"); }

std::string StartMonitoringWithId(SharedState& state, MonitoringController& controller,
                                  std::string id) {
  if (id.empty()) id = "0";
  state.SetCaptureId(std::move(id));
  state.last_error.Clear();
  state.image_count = 0;
  std::string status =
      MonitoringStatusText(state.switch_kind, state.Slot(SettingSlot::SwitchDevice));
  controller.StartIfStopped();
  return status;
}

std::string StopMonitoring(MonitoringController& controller) {
  controller.Stop();
  return PausedStatusText();
}

}  // namespace velmarin
