#pragma once

#include <optional>
#include <string>

#include "platform/modem_lines.h"

namespace velmarin {

// Serial ports of Linux: "COM1".."COM9" are /dev/ttyS0../dev/ttyS8, "/dev/..." is used as it
// stands. A port is held with TIOCEXCL and a non-blocking flock, so a second opener fails.
class TermiosSerialOpener final : public SerialPortOpener {
 public:
  std::unique_ptr<SerialPort> Open(const std::string& name) override;
  std::vector<std::string> UsbSerialDeviceNames() override;
};

// The device path of a switch-device name; nullopt for names that name no serial port here.
std::optional<std::string> SerialDevicePath(const std::string& name);

}  // namespace velmarin
