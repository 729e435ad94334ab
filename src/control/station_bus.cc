#include "control/station_bus.h"

#include <utility>

#include "base/message_subject.h"
#include "control/capture_id.h"
#include "control/station_bus_names.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

std::string Utf8Path(const std::filesystem::path& path) { return Utf8Replacing(path.string()); }

}  // namespace

StationBus::StationBus(ProgramSession& session, StationCommands& commands,
                       StationBusOptions options)
    : session_(session), commands_(commands), options_(std::move(options)) {}

StationBus::~StationBus() { Stop(); }

void StationBus::Start() {
  name_ = StationBusName(session_.state().program_dir().path).value_or("");
  emitted_ = session_.StatusNow();
  session_.SetStationEvents(this);
  bus_thread_.Start([this](sd_bus* bus) { Connected(bus); },
                    [this](const std::string& reason) { Lost(reason); });
}

void StationBus::Stop() {
  {
    const std::lock_guard lock(calls_mutex_);
    if (stopped_) return;
    stopped_ = true;
    calls_.clear();
  }
  // No report of the station reaches the bus from here on.
  session_.SetStationEvents(nullptr);
  bus_thread_.Stop([this](sd_bus*) {
    for (const auto& [token, call] : pending_) {
      sd_bus_reply_method_errorf(call.get(), kShuttingDownError,
                                 "the station has ended; nothing was changed");
    }
    pending_.clear();
  });
  pending_.clear();
}

void StationBus::Say(const std::string& line) const {
  if (options_.say) {
    options_.say(line);
  } else {
    PrintMessageLine("", line);
  }
}

// ---- bus thread ----

// The vtable's entries name their arguments, so introspection shows them.
const sd_bus_vtable* StationBus::Vtable() {
  constexpr std::uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
  static const sd_bus_vtable vtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD_WITH_NAMES("SetId", "s", SD_BUS_PARAM(id), "", , OnSetId, 0),
      SD_BUS_METHOD_WITH_NAMES("Start", "s", SD_BUS_PARAM(id), "s", SD_BUS_PARAM(status), OnStart,
                               0),
      SD_BUS_METHOD_WITH_NAMES("Stop", "", , "s", SD_BUS_PARAM(status), OnStop, 0),
      SD_BUS_PROPERTY("Id", "s", GetProperty, 0, kChanges),
      SD_BUS_PROPERTY("Monitoring", "b", GetProperty, 0, kChanges),
      SD_BUS_PROPERTY("ImageCount", "i", GetProperty, 0, kChanges),
      SD_BUS_PROPERTY("Waiting", "u", GetProperty, 0, kChanges),
      SD_BUS_PROPERTY("LastError", "s", GetProperty, 0, kChanges),
      SD_BUS_PROPERTY("ProgramFolder", "s", GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
      SD_BUS_PROPERTY("LastTransferred", "(ss)", GetProperty, 0, kChanges),
      SD_BUS_SIGNAL_WITH_NAMES("StillTransferred", "sss",
                               SD_BUS_PARAM(source) SD_BUS_PARAM(target) SD_BUS_PARAM(id), 0),
      SD_BUS_SIGNAL_WITH_NAMES("StillFailed", "ss", SD_BUS_PARAM(source) SD_BUS_PARAM(text), 0),
      SD_BUS_SIGNAL_WITH_NAMES("WaitingChanged", "u", SD_BUS_PARAM(count), 0),
      SD_BUS_VTABLE_END,
  };
  return vtable;
}

void StationBus::Connected(sd_bus* bus) {
  connected_ = true;
  if (name_.empty() ||
      sd_bus_add_object_vtable(bus, nullptr, kStationObjectPath, kStationInterface, Vtable(),
                               this) < 0 ||
      sd_bus_request_name_async(bus, nullptr, name_.c_str(), 0, OnNameRequested, this) < 0) {
    Say("the station cannot offer itself on the session bus; other programs cannot give it an "
        "ID");
  }
}

void StationBus::Lost(const std::string& reason) {
  Say(connected_ ? "the connection to the session bus was lost (" + reason +
                       "); other programs can no longer give this station an ID"
                 : "the session bus cannot be reached (" + reason +
                       "); other programs cannot give this station an ID");
  pending_.clear();
}

int StationBus::OnNameRequested(sd_bus_message* reply, void* self, sd_bus_error*) {
  auto& station = *static_cast<StationBus*>(self);
  std::uint32_t result = 0;
  if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
    station.Say("the session bus refused the name " + station.name_ + " (" + error->message +
                "); other programs cannot give this station an ID");
  } else if (sd_bus_message_read(reply, "u", &result) >= 0 && result != 1 && result != 4) {
    // 1 primary owner, 4 already the owner; else another program has it.
    station.Say("the session bus name " + station.name_ +
                " is taken by another program; other programs cannot give this station an ID");
  } else {
    station.Say("on the session bus as " + station.name_);
  }
  return 0;
}

int StationBus::OnSetId(sd_bus_message* call, void* self, sd_bus_error* error) {
  return static_cast<StationBus*>(self)->Receive(call, CallKind::kSetId, error);
}

int StationBus::OnStart(sd_bus_message* call, void* self, sd_bus_error* error) {
  return static_cast<StationBus*>(self)->Receive(call, CallKind::kStart, error);
}

int StationBus::OnStop(sd_bus_message* call, void* self, sd_bus_error* error) {
  return static_cast<StationBus*>(self)->Receive(call, CallKind::kStop, error);
}

int StationBus::Receive(sd_bus_message* call, CallKind kind, sd_bus_error* error) {
  Cp932Text id;
  if (kind != CallKind::kStop) {
    const char* typed = nullptr;
    if (const int read = sd_bus_message_read(call, "s", &typed); read < 0) return read;
    // The same checks as an ID typed on the keypad.
    TypedTextError why{};
    std::optional<Cp932Text> checked = CaptureIdFromTyped(typed, &why);
    if (!checked) {
      return sd_bus_error_setf(error, kInvalidIdError, "%s; nothing was changed",
                               CaptureIdRefusal(why).c_str());
    }
    id = std::move(*checked);
  }
  const std::uint64_t token = ++last_token_;
  {
    const std::lock_guard lock(calls_mutex_);
    if (stopped_ || session_.ShuttingDown()) {
      return sd_bus_error_set(error, kShuttingDownError,
                              "the station is shutting down; nothing was changed");
    }
    calls_.push_back({kind, std::move(id), token});
  }
  pending_.emplace(token, MessageHandle(sd_bus_message_ref(call)));
  if (options_.wake_owner) options_.wake_owner();
  return 1;  // answered once the owner ran it
}

void StationBus::Reply(std::uint64_t token, const Answer& answer) {
  const auto found = pending_.find(token);
  if (found == pending_.end()) return;
  sd_bus_message* call = found->second.get();
  if (!answer.error_name.empty()) {
    sd_bus_reply_method_errorf(call, answer.error_name.c_str(), "%s", answer.text.c_str());
  } else if (sd_bus_message_is_method_call(call, kStationInterface, "SetId") > 0) {
    sd_bus_reply_method_return(call, "");
  } else {
    sd_bus_reply_method_return(call, "s", answer.text.c_str());
  }
  // A caller that went away meanwhile gets nothing; the change stands.
  pending_.erase(found);
}

int StationBus::GetProperty(sd_bus*, const char*, const char*, const char* property,
                            sd_bus_message* reply, void* self, sd_bus_error*) {
  const StationStatus status = static_cast<StationBus*>(self)->session_.StatusNow();
  const std::string_view name(property);
  if (name == "Id") return sd_bus_message_append(reply, "s", status.id.c_str());
  if (name == "Monitoring") return sd_bus_message_append(reply, "b", status.monitoring ? 1 : 0);
  if (name == "ImageCount") return sd_bus_message_append(reply, "i", status.image_count);
  if (name == "Waiting") return sd_bus_message_append(reply, "u", status.waiting);
  if (name == "LastError") return sd_bus_message_append(reply, "s", status.last_error.c_str());
  if (name == "ProgramFolder") {
    return sd_bus_message_append(reply, "s", Utf8Replacing(status.program_folder).c_str());
  }
  return sd_bus_message_append(reply, "(ss)", Utf8Replacing(status.last_source).c_str(),
                               Utf8Replacing(status.last_target).c_str());
}

void StationBus::EmitChanges(sd_bus* bus, const StationStatus& status) {
  std::vector<const char*> names;
  if (status.id != emitted_.id) names.push_back("Id");
  if (status.monitoring != emitted_.monitoring) names.push_back("Monitoring");
  if (status.image_count != emitted_.image_count) names.push_back("ImageCount");
  if (status.waiting != emitted_.waiting) names.push_back("Waiting");
  if (status.last_error != emitted_.last_error) names.push_back("LastError");
  if (status.last_source != emitted_.last_source || status.last_target != emitted_.last_target) {
    names.push_back("LastTransferred");
  }
  emitted_ = status;
  if (names.empty()) return;
  names.push_back(nullptr);
  sd_bus_emit_properties_changed_strv(bus, kStationObjectPath, kStationInterface,
                                      const_cast<char**>(names.data()));
}

// ---- any thread ----

void StationBus::StillTransferred(const std::filesystem::path& source,
                                  const std::filesystem::path& target, const Cp932Text& id) {
  bus_thread_.Post([source, target, id](sd_bus* bus) {
    sd_bus_emit_signal(bus, kStationObjectPath, kStationInterface, "StillTransferred", "sss",
                       Utf8Path(source).c_str(), Utf8Path(target).c_str(),
                       Cp932ToUtf8Replacing(id).c_str());
  });
}

void StationBus::StillFailed(const std::filesystem::path& source, const Cp932Text& text) {
  bus_thread_.Post([this, source, text](sd_bus* bus) {
    const std::string utf8 = Cp932ToUtf8Replacing(text);
    sd_bus_emit_signal(bus, kStationObjectPath, kStationInterface, "StillFailed", "ss",
                       Utf8Path(source).c_str(), utf8.c_str());
    if (options_.notify_desktop) notifications_.Send(bus, FailedStillNotice(source, utf8));
  });
}

void StationBus::WaitingChanged(std::uint32_t waiting) {
  bus_thread_.Post([this, waiting](sd_bus* bus) {
    sd_bus_emit_signal(bus, kStationObjectPath, kStationInterface, "WaitingChanged", "u", waiting);
    if (options_.notify_desktop) notifications_.Send(bus, WaitingNotice(waiting));
  });
}

void StationBus::StatusChanged(const StationStatus& status) {
  bus_thread_.Post([this, status](sd_bus* bus) { EmitChanges(bus, status); });
}

// ---- owner thread ----

void StationBus::RunCommands() {
  std::vector<Call> calls;
  {
    const std::lock_guard lock(calls_mutex_);
    if (stopped_) return;
    calls.swap(calls_);
  }
  for (const Call& call : calls) {
    bus_thread_.Post(
        [this, token = call.token, answer = Run(call)](sd_bus*) { Reply(token, answer); });
  }
}

StationBus::Answer StationBus::Run(const Call& call) {
  if (session_.ShuttingDown()) {
    return {kShuttingDownError, "the station is shutting down; nothing was changed"};
  }
  if (session_.SettingsCommandOpen()) {
    return {kBusyError, "a settings dialog is open at the station; nothing was changed"};
  }
  switch (call.kind) {
    case CallKind::kSetId:
      commands_.SetId(call.id);
      return {};
    case CallKind::kStart:
      if (const auto status = commands_.Start(call.id)) return {"", Cp932ToUtf8Replacing(*status)};
      return {kShuttingDownError, "the station is shutting down; nothing was changed"};
    case CallKind::kStop:
      return {"", Cp932ToUtf8Replacing(commands_.Stop())};
  }
  return {};
}

}  // namespace velmarin
