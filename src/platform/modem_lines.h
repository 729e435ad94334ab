#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmarin {

// Modem-status bits, with the values the settings and the switch logic were written for.
inline constexpr std::uint32_t kModemCts = 0x10;
inline constexpr std::uint32_t kModemDsr = 0x20;
inline constexpr std::uint32_t kModemRing = 0x40;
inline constexpr std::uint32_t kModemRlsd = 0x80;

// A serial port opened only for its modem lines: no data is read or written.
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Raises DTR, then RTS (the switch is powered from them). False when the port refused.
  virtual bool RaiseDtrRts() = 0;
  // The current modem-status word (kModem* bits); false when it cannot be read.
  virtual bool ReadModemStatus(std::uint32_t* status) = 0;
};

class SerialPortOpener {
 public:
  virtual ~SerialPortOpener() = default;
  // Opens a port by its switch-device name ("COM1".."COM9" or a "/dev/" path) for reading,
  // held exclusively; nullptr when it does not exist, is held by another program or is no
  // serial port.
  virtual std::unique_ptr<SerialPort> Open(const std::string& name) = 0;
  // Present USB serial adapters ("/dev/ttyUSB*", "/dev/ttyACM*"), in no particular order.
  virtual std::vector<std::string> UsbSerialDeviceNames() = 0;
};

}  // namespace velmarin
