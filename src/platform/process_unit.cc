#include "platform/process_unit.h"

#include <systemd/sd-login.h>

#include <cstdlib>
#include <memory>

namespace velmarin {

std::optional<std::string> UserUnitOfProcess(pid_t pid) {
  char* unit = nullptr;
  if (sd_pid_get_user_unit(pid, &unit) < 0 || unit == nullptr) return std::nullopt;
  const std::unique_ptr<char, decltype(&std::free)> owned(unit, &std::free);
  return std::string(unit);
}

}  // namespace velmarin
