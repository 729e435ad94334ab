#pragma once

#include <QString>

#include <optional>
#include <string>

#include "cli/options.h"
#include "settings/program_dir.h"

namespace velmarin::app {

// The systemd user unit of headless monitoring on ~/Velmarin (dist/velmarin.service.in).
inline constexpr char kUserServiceUnit[] = "velmarin.service";

// The box of a window whose program folder is in use, held by a process of `holder_unit`
// (its systemd user unit, if any): where that is the user service, how to stop it; else
// `lock_error`, the lock's refusal in the window's words. Japanese, as the window speaks.
QString FolderInUseNote(const ProgramDir& program_dir,
                        const std::optional<std::string>& holder_unit,
                        const std::string& lock_error);

// `velmarin` without a command: the window, on the X11 platform (XWayland on a Wayland
// desktop), where top-most and synthesized input work. Without a reachable display it says so
// and returns 1. Returns 1 too when the settings could not be saved at the end.
int RunWindowCommand(const cli::Options& options);

}  // namespace velmarin::app
