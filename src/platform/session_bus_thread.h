#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/unique_fd.h"

struct sd_bus;

namespace velmarin {

// Connects to the user's session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus).
// nullptr with `error` when it cannot be reached (a root service, an ssh login).
sd_bus* OpenSessionBus(std::string* error);

// A connection to the user's session bus (sd-bus), served on a thread of its own, so that
// nothing the program does waits for the bus or for the programs on it. sd-bus objects are
// not thread-safe: they are touched only on that thread, by the work posted to it.
class SessionBusThread {
 public:
  using Work = std::function<void(sd_bus* bus)>;

  SessionBusThread();
  ~SessionBusThread();
  SessionBusThread(const SessionBusThread&) = delete;
  SessionBusThread& operator=(const SessionBusThread&) = delete;

  // Connects on the bus thread, then runs `on_connected` there (objects, names). When the
  // bus cannot be reached, or the connection is lost later, `on_lost` gets the reason once;
  // the thread then waits for Stop.
  void Start(Work on_connected, std::function<void(const std::string& reason)> on_lost);
  // Runs `work` on the bus thread soon, in the order posted; from any thread, without
  // waiting. Dropped when there is no connection.
  void Post(Work work);
  // Runs `last` (and the work posted before it) on the bus thread, sends what it queued
  // (waiting a second at most for a bus that does not read), closes the connection and ends
  // the thread. Work posted afterwards is dropped.
  void Stop(Work last = {});

 private:
  void Run(const Work& on_connected, const std::function<void(const std::string&)>& on_lost);
  // Runs the posted work; false once Stop came.
  bool RunPosted(sd_bus* bus);
  void Wake();

  UniqueFd wake_;  // an eventfd: posted work or a stop
  std::mutex mutex_;
  std::vector<Work> posted_;
  Work last_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace velmarin
