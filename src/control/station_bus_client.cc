#include "control/station_bus_client.h"

#include <cstdint>

#include "base/errno_text.h"
#include "control/station_bus_names.h"
#include "platform/session_bus_thread.h"

namespace velmarin {
namespace {

using MessageHandle = CHandle<sd_bus_message, sd_bus_message_unref>;

constexpr std::uint64_t kCallTimeoutUs = 10'000'000;

// Frees an sd_bus_error however the call that filled it returned.
struct BusError {
  sd_bus_error error{};  // SD_BUS_ERROR_NULL, without its C compound literal
  ~BusError() { sd_bus_error_free(&error); }
  std::string Text(int result) const {
    return error.message != nullptr ? error.message : ErrnoText(-result);
  }
};

// One property as text; nullopt when it could not be read.
std::optional<std::string> ReadProperty(sd_bus* bus, const std::string& name, const char* property,
                                        const char* type, std::string* error) {
  BusError failed;
  sd_bus_message* raw = nullptr;
  const int result = sd_bus_get_property(bus, name.c_str(), kStationObjectPath, kStationInterface,
                                         property, &failed.error, &raw, type);
  const MessageHandle reply(raw);
  if (result < 0) {
    *error = failed.Text(result);
    return std::nullopt;
  }
  const std::string_view kind(type);
  const char* text = nullptr;
  const char* second = nullptr;
  std::int32_t number = 0;
  std::uint32_t count = 0;
  int flag = 0;
  if (kind == "s" && sd_bus_message_read(reply.get(), "s", &text) >= 0) return text;
  if (kind == "b" && sd_bus_message_read(reply.get(), "b", &flag) >= 0) {
    return flag ? "true" : "false";
  }
  if (kind == "i" && sd_bus_message_read(reply.get(), "i", &number) >= 0) {
    return std::to_string(number);
  }
  if (kind == "u" && sd_bus_message_read(reply.get(), "u", &count) >= 0) {
    return std::to_string(count);
  }
  if (kind == "(ss)" && sd_bus_message_read(reply.get(), "(ss)", &text, &second) >= 0) {
    return std::string(text) + "\t" + second;
  }
  *error = std::string("the station's ") + property + " is not of type " + type;
  return std::nullopt;
}

}  // namespace

std::optional<StationBusClient> StationBusClient::Connect(std::string* error) {
  sd_bus* bus = OpenSessionBus(error);
  if (bus == nullptr) return std::nullopt;
  // A station answers within its tick; a bus or station that does not is not waited for long.
  sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
  return StationBusClient(bus);
}

bool StationBusClient::HasOwner(const std::string& name) {
  BusError failed;
  sd_bus_message* raw = nullptr;
  const int result = sd_bus_call_method(bus_.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                        "org.freedesktop.DBus", "NameHasOwner", &failed.error, &raw,
                                        "s", name.c_str());
  const MessageHandle reply(raw);
  int owned = 0;
  return result >= 0 && sd_bus_message_read(reply.get(), "b", &owned) >= 0 && owned != 0;
}

std::optional<std::string> StationBusClient::Start(const std::string& name, const std::string& id,
                                                   std::string* error) {
  BusError failed;
  sd_bus_message* raw = nullptr;
  const int result =
      sd_bus_call_method(bus_.get(), name.c_str(), kStationObjectPath, kStationInterface, "Start",
                         &failed.error, &raw, "s", id.c_str());
  const MessageHandle reply(raw);
  const char* status = nullptr;
  if (result < 0 || sd_bus_message_read(reply.get(), "s", &status) < 0) {
    *error = failed.Text(result);
    return std::nullopt;
  }
  return status;
}

std::optional<std::vector<std::pair<std::string, std::string>>> StationBusClient::Properties(
    const std::string& name, std::string* error) {
  static constexpr std::pair<const char*, const char*> kProperties[] = {
      {"Id", "s"},        {"Monitoring", "b"},    {"ImageCount", "i"},         {"Waiting", "u"},
      {"LastError", "s"}, {"ProgramFolder", "s"}, {"LastTransferred", "(ss)"},
  };
  std::vector<std::pair<std::string, std::string>> values;
  for (const auto& [property, type] : kProperties) {
    std::optional<std::string> value = ReadProperty(bus_.get(), name, property, type, error);
    if (!value) return std::nullopt;
    values.emplace_back(property, std::move(*value));
  }
  return values;
}

}  // namespace velmarin
