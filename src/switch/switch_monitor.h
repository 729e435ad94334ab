#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "settings/settings.h"
#include "switch/switch_device.h"

namespace velmarin {

// What the switch thread remembers across all its runs since program start. Only one switch
// thread runs at a time; the atomics let other threads look on.
struct SwitchProgress {
  // Polls made so far; stops at its maximum instead of wrapping, so the start-up guard of
  // the OFF edge never comes back.
  std::atomic<std::int32_t> poll_count{0};
  std::atomic<std::int32_t> last_usb_sample{0};     // 0 or 1
  std::atomic<std::uint32_t> last_modem_status{0};  // kModem* bits
};

// The switch thread: after a one-second start pause it polls the device that `switch_kind`
// names every PollIntervalMs and, when the level changes in the TriggerEdge direction, waits
// EventDelayMs, calls `fire_event` and rests RestAfterEventMs. It returns when a stop is
// requested or `switch_kind` names no open device. The event, once due, is always completed.
void RunSwitchMonitor(std::stop_token stop, const Settings& settings,
                      const std::atomic<SwitchKind>& switch_kind, SwitchDevices& devices,
                      SwitchProgress& progress, const std::function<void()>& fire_event);

}  // namespace velmarin
