#include "platform/modem_lines.h"

namespace velmarin {

bool IsSerialSwitchName(const std::string& name) {
  return name.find("COM") != std::string::npos || name.starts_with("/dev/");
}

}  // namespace velmarin
