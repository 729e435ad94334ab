#pragma once

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/session_bus_thread.h"
#include "support/temp_dir.h"

namespace velmarin::test {

// A private session bus for one test: a dbus-daemon of its own, listening in a temporary
// folder, that starts no services. While it lives, DBUS_SESSION_BUS_ADDRESS of this process
// (and so of the programs it starts) names it. Make it before any thread that reads the
// environment, end it after they have ended. Tests without one see no session bus at all
// (tests/support/test_environment.cc).
class PrivateSessionBus {
 public:
  PrivateSessionBus();
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

  // Empty when the daemon did not start (with the reason in `error()`).
  const std::string& address() const { return address_; }
  const std::string& error() const { return error_; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  std::string address_;
  std::string error_;
  std::optional<std::string> previous_address_;
};

// A stand-in for the desktop's notification server (org.freedesktop.Notifications) on the
// session bus: records every Notify and answers it with the ids 1, 2, 3...
class StandInNotificationServer {
 public:
  struct Notice {
    std::string app_name;
    std::uint32_t replaces_id = 0;
    std::string summary;
    std::string body;
    int urgency = -1;  // the "urgency" hint, -1 without one
    std::string desktop_entry;
  };

  // Returns once it has its name (false from `ready()` when it could not have it).
  StandInNotificationServer();
  ~StandInNotificationServer();

  bool ready() const { return ready_; }
  // Waits (bounded) until `count` notices came; all of them.
  std::vector<Notice> WaitForNotices(std::size_t count, std::chrono::seconds limit);

 private:
  static int OnNotify(sd_bus_message* call, void* self, sd_bus_error* error);

  SessionBusThread bus_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool answered_ = false;
  bool ready_ = false;
  std::vector<Notice> notices_;
};

}  // namespace velmarin::test
