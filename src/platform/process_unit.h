#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace velmarin {

// The systemd user unit process `pid` runs in ("velmarin.service"), from its control group;
// nullopt when it runs in none (started from a terminal or the desktop's menu) or is gone.
std::optional<std::string> UserUnitOfProcess(pid_t pid);

}  // namespace velmarin
