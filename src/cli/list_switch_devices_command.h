#pragma once

#include "cli/options.h"

namespace velmarin::cli {

// --list-switch-devices: prints the switch devices the settings can name, one per line.
int RunListSwitchDevicesCommand(const Options& options);

}  // namespace velmarin::cli
