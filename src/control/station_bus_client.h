#pragma once

#include <systemd/sd-bus.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/c_handle.h"

namespace velmarin {

// Another program's side of a running station's bus interface (the command line's --id and
// --status), through the user's session bus. Each call waits for the station's answer.
class StationBusClient {
 public:
  // Connects; nullopt with `error` when the session bus cannot be reached.
  static std::optional<StationBusClient> Connect(std::string* error);

  // Whether a program holds `name` on the bus.
  bool HasOwner(const std::string& name);
  // "IDで開始" at the station named `name`: its status line, or nullopt with `error` (the
  // station's refusal, or why it was not reached).
  std::optional<std::string> Start(const std::string& name, const std::string& id,
                                   std::string* error);
  // Its properties as (NAME, VALUE) in the interface's order, values as text; nullopt with
  // `error`.
  std::optional<std::vector<std::pair<std::string, std::string>>> Properties(
      const std::string& name, std::string* error);

 private:
  using BusHandle = CHandle<sd_bus, sd_bus_flush_close_unref>;
  explicit StationBusClient(sd_bus* bus) : bus_(bus) {}

  BusHandle bus_;
};

}  // namespace velmarin
