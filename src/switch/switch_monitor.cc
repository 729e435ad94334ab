#include "switch/switch_monitor.h"

#include <chrono>
#include <limits>
#include <string>
#include <thread>

#include "base/stoppable_sleep.h"
#include "switch/switch_timing.h"

namespace velmarin {
namespace {

constexpr std::chrono::milliseconds kStartPause{1000};
// Level-0 changes are ignored until this many polls have been made since program start, so
// the first readings of a freshly opened device do not fire an OFF event.
constexpr std::int32_t kOffGuardPolls = 5;

std::int32_t CountPoll(std::atomic<std::int32_t>& poll_count) {
  const std::int32_t count = poll_count.load();
  if (count == std::numeric_limits<std::int32_t>::max()) return count;
  poll_count.store(count + 1);
  return count + 1;
}

bool ShouldFire(int level, const std::string& trigger_edge, std::int32_t poll_count) {
  if (level == 1) return trigger_edge.find("ON") != std::string::npos;
  return trigger_edge.find("OFF") != std::string::npos && poll_count > kOffGuardPolls;
}

// The level after a change of the modem-status word: DSR when it changed, else CTS.
int ModemLevel(std::uint32_t previous, std::uint32_t current) {
  if ((previous ^ current) & kModemDsr) return (current & kModemDsr) ? 1 : 0;
  return (current & kModemCts) ? 1 : 0;
}

}  // namespace

void RunSwitchMonitor(std::stop_token stop, const Settings& settings,
                      const std::atomic<SwitchKind>& switch_kind, SwitchDevices& devices,
                      SwitchProgress& progress, const std::function<void()>& fire_event) {
  if (!SleepUnlessStopped(stop, kStartPause)) return;
  const SwitchTiming timing = ParseSwitchTiming(settings);

  // Both waits end at a stop, so a stop or shutdown never waits for them. A stop during the
  // delay drops the press: monitoring has ended, nothing is sent after it.
  const auto fire_if_triggered = [&](int level, std::int32_t poll_count) {
    if (!ShouldFire(level, settings[SettingSlot::TriggerEdge].bytes(), poll_count)) return;
    if (!SleepUnlessStopped(stop, timing.event_delay)) return;
    fire_event();
    SleepUnlessStopped(stop, timing.rest_after_event);
  };

  while (!stop.stop_requested() &&
         (switch_kind.load() == SwitchKind::kUsbIo || switch_kind.load() == SwitchKind::kSerial)) {
    const std::int32_t poll_count = CountPoll(progress.poll_count);
    if (switch_kind.load() == SwitchKind::kUsbIo) {
      // A failed read is no change.
      int sample = progress.last_usb_sample.load();
      if (int pin = 0; devices.ReadUsbPin0(&pin)) sample = pin;
      if (sample != progress.last_usb_sample.load()) {
        fire_if_triggered(sample, poll_count);
        progress.last_usb_sample.store(sample);
      }
    } else {
      const std::uint32_t previous = progress.last_modem_status.load();
      std::uint32_t status = previous;
      if (std::uint32_t lines = 0; devices.ReadModemStatus(&lines)) status = lines;
      if (status != previous) {
        fire_if_triggered(ModemLevel(previous, status), poll_count);
        progress.last_modem_status.store(status);
      }
    }
    SleepUnlessStopped(stop, timing.poll_interval);
  }
}

}  // namespace velmarin
