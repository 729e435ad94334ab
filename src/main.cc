#include <cstdio>
#include <string>

#include "app/window_command.h"
#include "cli/dicom_echo_command.h"
#include "cli/fire_event_command.h"
#include "cli/headless_command.h"
#include "cli/list_switch_devices_command.h"
#include "cli/next_name_command.h"
#include "cli/options.h"
#include "cli/process_command.h"
#include "cli/settings_command.h"
#include "cli/transfer_command.h"
#include "platform/data_files.h"

int main(int argc, char** argv) {
  using velmarin::cli::Command;
  std::string error;
  const auto options = velmarin::cli::ParseOptions(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "velmarin: %s\n%s", error.c_str(), velmarin::cli::kUsage);
    return 2;
  }
  switch (options->command) {
    case Command::kWindow:
      return velmarin::app::RunWindowCommand(*options);
    case Command::kHelp:
      std::fputs(velmarin::cli::kUsage, stdout);
      return 0;
    case Command::kVersion:
      std::printf("velmarin %s\n", VELMARIN_VERSION);
      if (const auto chime = velmarin::FindDataFile("chimes.wav")) {
        std::printf("chime: %s\n", chime->c_str());
      } else {
        std::printf("chime: none (the desktop beep sounds instead)\n");
      }
      return 0;
    case Command::kNextName:
      return velmarin::cli::RunNextNameCommand(*options);
    case Command::kTransfer:
      return velmarin::cli::RunTransferCommand(*options);
    case Command::kHeadless:
      return velmarin::cli::RunHeadlessCommand(*options);
    case Command::kFireEvent:
      return velmarin::cli::RunFireEventCommand(*options);
    case Command::kListSwitchDevices:
      return velmarin::cli::RunListSwitchDevicesCommand(*options);
    case Command::kDicomEcho:
      return velmarin::cli::RunDicomEchoCommand();
    case Command::kProcess:
      return velmarin::cli::RunProcessCommand(*options);
    case Command::kSettings:
      return velmarin::cli::RunSettingsCommand(*options);
    case Command::kSet:
      return velmarin::cli::RunSetCommand(*options);
  }
  return 2;
}
