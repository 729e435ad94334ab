#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/c_handle.h"
#include "control/desktop_notifications.h"
#include "control/program_session.h"
#include "control/station_commands.h"
#include "control/station_events.h"
#include "platform/session_bus_thread.h"

namespace velmarin {

struct StationBusOptions {
  // Failures and waiting stills also as desktop notifications: nobody reads the title of a
  // headless station.
  bool notify_desktop = false;
  // Asks the thread that owns the station to call RunCommands soon; may be empty when that
  // thread calls it on its tick anyway.
  std::function<void()> wake_owner;
  // Where the bus's own lines go; standard error when empty.
  std::function<void(std::string_view line)> say;
};

// The station on the session bus (org.velmarin.Velmarin.Station at kStationObjectPath, on
// StationBusName of its program folder; docs/BUS.md): other programs give it an ID, start
// and stop it, read its state and hear what became of each still. The bus is served on a
// thread of its own; a call that changes the station is answered after the thread that owns
// the station has run it, so neither that thread nor the folder thread ever waits for the bus.
class StationBus final : public StationEvents {
 public:
  StationBus(ProgramSession& session, StationCommands& commands, StationBusOptions options);
  ~StationBus() override;
  StationBus(const StationBus&) = delete;
  StationBus& operator=(const StationBus&) = delete;

  // Connects and takes the station's name, beside the caller; says once when the session bus
  // cannot be reached (the station runs on without it) and when the name is had.
  void Start();
  // On the thread that owns the station: runs the calls received since (none once a
  // shutdown began or while a settings command is open: those are refused).
  void RunCommands();
  // Answers every call not yet answered with kShuttingDownError, leaves the bus and ends the
  // bus thread. Called before the session and the commands go away.
  void Stop();

  // StationEvents: handed to the bus thread, never waited for.
  void StillTransferred(const std::filesystem::path& source, const std::filesystem::path& target,
                        const Cp932Text& id) override;
  void StillFailed(const std::filesystem::path& source, const Cp932Text& text) override;
  void WaitingChanged(std::uint32_t waiting) override;
  void StatusChanged(const StationStatus& status) override;

 private:
  enum class CallKind { kSetId, kStart, kStop };
  struct Call {
    CallKind kind;
    Cp932Text id;
    std::uint64_t token;  // the call's entry in `pending_`
  };
  struct Answer {
    std::string error_name;  // empty: success
    std::string text;        // the status line, or the error's text
  };
  using MessageHandle = CHandle<sd_bus_message, sd_bus_message_unref>;

  // Bus thread.
  static const sd_bus_vtable* Vtable();
  void Connected(sd_bus* bus);
  void Lost(const std::string& reason);
  int Receive(sd_bus_message* call, CallKind kind, sd_bus_error* error);
  void Reply(std::uint64_t token, const Answer& answer);
  void EmitChanges(sd_bus* bus, const StationStatus& status);
  static int OnSetId(sd_bus_message* call, void* self, sd_bus_error* error);
  static int OnStart(sd_bus_message* call, void* self, sd_bus_error* error);
  static int OnStop(sd_bus_message* call, void* self, sd_bus_error* error);
  static int GetProperty(sd_bus* bus, const char* path, const char* interface, const char* property,
                         sd_bus_message* reply, void* self, sd_bus_error* error);
  static int OnNameRequested(sd_bus_message* reply, void* self, sd_bus_error* error);
  // Owner thread.
  Answer Run(const Call& call);
  void Say(const std::string& line) const;

  ProgramSession& session_;
  StationCommands& commands_;
  const StationBusOptions options_;
  std::string name_;
  SessionBusThread bus_thread_;
  // Owner thread and bus thread.
  std::mutex calls_mutex_;
  std::vector<Call> calls_;
  bool stopped_ = false;
  // Bus thread only.
  bool connected_ = false;
  std::uint64_t last_token_ = 0;
  std::map<std::uint64_t, MessageHandle> pending_;
  StationStatus emitted_;
  DesktopNotifications notifications_;
};

}  // namespace velmarin
