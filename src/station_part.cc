// The part of the program that runs a station (the window, the switch, the monitor, the PACS:
// Qt Widgets, X, sound, HID, evdev, DICOM besides the image editing), loaded by `velmarin` for
// these commands.
#include "app/window_command.h"
#include "cli/command_routes.h"
#include "cli/dicom_echo_command.h"
#include "cli/fire_event_command.h"
#include "cli/headless_command.h"
#include "cli/list_switch_devices_command.h"
#include "cli/station_command.h"

namespace {

using velmarin::cli::Command;

constexpr velmarin::cli::CommandRoute kRoutes[] = {
    {Command::kWindow, velmarin::app::RunWindowCommand},
    {Command::kHeadless, velmarin::cli::RunHeadlessCommand},
    {Command::kFireEvent, velmarin::cli::RunFireEventCommand},
    {Command::kListSwitchDevices, velmarin::cli::RunListSwitchDevicesCommand},
    {Command::kStatus, velmarin::cli::RunStatusCommand},
    {Command::kDicomEcho, velmarin::cli::RunDicomEchoCommand},
};

}  // namespace

int velmarin_run_command(const velmarin::cli::Options& options) {
  return velmarin::cli::RunCommand(kRoutes, options);
}
