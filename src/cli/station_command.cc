#include "cli/station_command.h"

#include <cstdio>
#include <string>

#include "base/message_subject.h"
#include "cli/command_context.h"
#include "control/station_bus_client.h"
#include "control/station_bus_names.h"
#include "settings/program_folder_lock.h"
#include "settings/settings_file.h"

namespace velmarin::cli {
namespace {

// A station that runs, and where it is.
struct RunningStation {
  std::filesystem::path folder;
  std::string described;  // "the station on FOLDER (process N)"
};

// Where the station meant runs, if one does.
std::optional<RunningStation> FindRunningStation(const Options& options,
                                                 const ProgramDir& program_dir,
                                                 StationBusClient* client) {
  std::error_code ec;
  // Started where no station keeps its files (the home folder of a terminal), --id and
  // --status mean the station of the menu and the user service.
  if (!options.dir && !options.user_folder &&
      !std::filesystem::exists(program_dir.path / kSettingsFileName, ec) && client != nullptr &&
      client->HasOwner(kUserStationBusName)) {
    return RunningStation{UserProgramFolder(), "the station on " + UserProgramFolder().string()};
  }
  const std::optional<pid_t> holder = ProgramFolderLock::Holder(program_dir);
  if (!holder) return std::nullopt;
  return RunningStation{program_dir.path,
                        "the station on " + program_dir.path.string() +
                            (*holder != 0 ? " (process " + std::to_string(*holder) + ")" : "")};
}

// The station's bus name, or nullopt after saying why it cannot be reached.
std::optional<std::string> ReachableName(const RunningStation& station,
                                         const std::optional<StationBusClient>& client,
                                         const std::string& bus_error) {
  auto name = StationBusName(station.folder);
  if (!client || !name) {
    PrintMessageLine("", station.described + " cannot be reached over the session bus (" +
                             (client ? "the folder cannot be looked at" : bus_error) + ")");
    return std::nullopt;
  }
  return name;
}

}  // namespace

std::optional<int> HandIdToRunningStation(const Options& options, const ProgramDir& program_dir) {
  std::string bus_error;
  std::optional<StationBusClient> client = StationBusClient::Connect(&bus_error);
  const auto station = FindRunningStation(options, program_dir, client ? &*client : nullptr);
  if (!station) return std::nullopt;
  const auto name = ReachableName(*station, client, bus_error);
  if (!name) return 1;
  std::string refusal;
  const auto status = client->Start(*name, options.id.value_or(""), &refusal);
  if (!status) {
    PrintMessageLine("", station->described + " did not take the ID: " + refusal);
    return 1;
  }
  std::printf("ID %s handed to the station on %s: %s\n", options.id.value_or("").c_str(),
              station->folder.c_str(), status->c_str());
  return 0;
}

int RunStatusCommand(const Options& options) {
  const auto program_dir = ResolveProgramDir(options);
  if (!program_dir) return program_dir.exit_code();
  std::string bus_error;
  std::optional<StationBusClient> client = StationBusClient::Connect(&bus_error);
  const auto station = FindRunningStation(options, *program_dir, client ? &*client : nullptr);
  if (!station) return Failed("no station runs on " + program_dir->path.string());
  const auto name = ReachableName(*station, client, bus_error);
  if (!name) return 1;
  std::string error;
  const auto properties = client->Properties(*name, &error);
  if (!properties) return Failed(station->described + ": " + error);
  std::printf("BusName=%s\n", name->c_str());
  for (const auto& [property, value] : *properties) {
    std::printf("%s=%s\n", property.c_str(), value.c_str());
  }
  return 0;
}

}  // namespace velmarin::cli
