#include "platform/screen_lock.h"

#include <systemd/sd-bus.h>

#include <cstdint>

namespace velmarin {
namespace {

// A logind that does not answer within this time must not hold up a capture for long.
constexpr std::uint64_t kCallTimeoutUs = 500'000;

}  // namespace

LogindScreenLock::LogindScreenLock() = default;

LogindScreenLock::~LogindScreenLock() { sd_bus_flush_close_unref(bus_); }

bool LogindScreenLock::Locked() {
  const std::lock_guard lock(mutex_);
  if (bus_ == nullptr) {
    if (sd_bus_open_system(&bus_) < 0) {
      bus_ = nullptr;
      return false;
    }
    sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
  }
  int locked = 0;
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal
  const int result = sd_bus_get_property_trivial(
      bus_, "org.freedesktop.login1", "/org/freedesktop/login1/session/auto",
      "org.freedesktop.login1.Session", "LockedHint", &error, 'b', &locked);
  sd_bus_error_free(&error);
  if (result < 0 && sd_bus_is_open(bus_) <= 0) {
    // The bus went away (restarted); connect again next time.
    sd_bus_flush_close_unref(bus_);
    bus_ = nullptr;
  }
  return result >= 0 && locked != 0;
}

}  // namespace velmarin
