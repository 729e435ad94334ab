#pragma once

#include <QString>

#include <string>

#include "cli/options.h"
#include "settings/program_dir.h"

namespace velmarin::app {

// The systemd user unit of headless monitoring on ~/Velmarin (dist/velmarin.service.in).
inline constexpr char kUserServiceUnit[] = "velmarin.service";

// The box of a window whose program folder is in use: where the user service holds it, how to
// stop the service (Japanese, as the window speaks); else the lock's refusal as it stands.
QString FolderInUseNote(const ProgramDir& program_dir, const std::string& lock_error);

// `velmarin` without a command: the window, on the X11 platform (XWayland on a Wayland
// desktop), where top-most and synthesized input work. Without a reachable display it says so
// and returns 1. Returns 1 too when the settings could not be saved at the end.
int RunWindowCommand(const cli::Options& options);

}  // namespace velmarin::app
