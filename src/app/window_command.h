#pragma once

#include "cli/options.h"

namespace velmarin::app {

// `velmarin` without a command: the window, on the X11 platform (XWayland on a Wayland
// desktop), where top-most and synthesized input work. Without a reachable display it says so
// and returns 1. Returns 1 too when the settings could not be saved at the end.
int RunWindowCommand(const cli::Options& options);

}  // namespace velmarin::app
