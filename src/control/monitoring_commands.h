#pragma once

#include <string>
#include <string_view>

#include "control/monitoring_controller.h"
#include "control/shared_state.h"

namespace velmarin {

// The status line while monitoring, from the switch state (code page 932):
// "<device>スイッチエラー 監視中", "スイッチ未接続 監視中" or "<device> 監視中".
Cp932Text MonitoringStatusText(SwitchKind switch_kind, const Cp932Text& switch_device);
// The status line after a stop: "監視休止中".
Cp932Text PausedStatusText();
// The status line at start-up: "IDを入力して下さい".
Cp932Text EnterIdStatusText();

// Takes `id` (code page 932; empty gives "0") as CaptureId, empties the last error and resets
// the count, as "IDで開始" does.
void TakeCaptureId(SharedState& state, Cp932Text id);

// "IDで開始": TakeCaptureId, then starts both threads when monitoring was off. Returns the
// status text.
Cp932Text StartMonitoringWithId(SharedState& state, MonitoringController& controller, Cp932Text id);

// "監視停止": the threads leave at their next check. Returns the status text.
Cp932Text StopMonitoring(MonitoringController& controller);

}  // namespace velmarin
