#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace velmarin {

// A note for the user at a headless station, who sees no window title: a desktop
// notification (UTF-8).
struct DesktopNotice {
  std::string summary;
  std::string body;
  bool critical = false;       // a still failed: the desktop keeps it until it is seen
  bool about_waiting = false;  // replaces the previous notice about waiting stills
};

// A still given up: its name and the failure's text.
DesktopNotice FailedStillNotice(const std::filesystem::path& source, const std::string& text);
// `waiting` stills wait behind a failure on the writing side; 0: they have all gone.
DesktopNotice WaitingNotice(std::uint32_t waiting);

// Sends notices to the desktop's notification server (org.freedesktop.Notifications) on the
// bus thread's connection. Nothing waits for the server: without one the call fails on the
// bus and nothing is said.
class DesktopNotifications {
 public:
  void Send(sd_bus* bus, const DesktopNotice& notice);

 private:
  static int OnWaitingReply(sd_bus_message* reply, void* self, sd_bus_error* error);

  std::uint32_t waiting_notice_id_ = 0;  // the server's id of the last notice about waiting
};

}  // namespace velmarin
