#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/message_sink.h"
#include "platform/hid_transport.h"
#include "platform/modem_lines.h"
#include "settings/settings.h"
#include "switch/lost_device_retry.h"
#include "switch/usb_io.h"

namespace velmarin {

// What the switch thread polls. The user-interface thread sets it when it opens or closes
// the device, the switch thread reads it: it is kept in a std::atomic (SharedState's).
enum class SwitchKind {
  kError = -1,  // a device is named but could not be opened
  kNone = 0,
  kUsbIo = 1,
  kSerial = 2,
};

// "COM" test of the switch-device name: a "/dev/" path names a serial port as well.
bool IsSerialSwitchName(const std::string& name);

// Opens the switch device that the settings name (a USB-IO board or a serial port's modem
// lines), records the outcome in `switch_kind` and gives the switch thread its samples. The
// user-interface thread opens and closes; the switch thread reads; the serial port is guarded
// by its own lock and the board by UsbIo's.
//
// A serial port that stops answering (an unplugged USB adapter) is closed and opened again by
// its name at later reads, as LostDeviceRetry times it (and UsbIo a lost board). The loss and
// the return are said once each.
class SwitchDevices {
 public:
  using Clock = std::chrono::steady_clock;

  SwitchDevices(HidTransport& hid, SerialPortOpener& serial, MessageSink& messages,
                std::atomic<SwitchKind>& switch_kind,
                std::function<Clock::time_point()> now = Clock::now);

  // Opens what `SwitchDevice` names and sets `switch_kind`.
  void OpenSwitchDevice(const Settings& settings);
  // Opens the named port (replacing an open one) and raises DTR and RTS; a name containing
  // "NONE" succeeds without opening anything. Shows "<name> is not available" on failure,
  // also for a device that opens but whose DTR and RTS cannot be raised (a pseudo-terminal).
  bool OpenSerialSwitch(const std::string& name);
  void CloseSerialPort();
  bool SerialPortOpen() const;
  // The names the settings dialog offers: the COM ports that open, the USB serial adapters
  // that open, then "NONE" and "USB-IO".
  std::vector<std::string> ListSwitchDevices();

  // Pin 0 of port 0 of the board (0 or 1); false when the read failed.
  bool ReadUsbPin0(int* sample);
  // The serial port's modem-status word; false when no port is open or it cannot be read
  // (also while a lost port is waited for).
  bool ReadModemStatus(std::uint32_t* status);

  UsbIo& usb_io() { return usb_io_; }

 private:
  SerialPortOpener& serial_;
  MessageSink& messages_;
  std::atomic<SwitchKind>& switch_kind_;
  UsbIo usb_io_;
  mutable std::mutex serial_mutex_;
  // Opens `serial_name_` and raises its lines; the *Locked members expect serial_mutex_ held.
  std::unique_ptr<SerialPort> OpenPortLocked();
  // A lost port is opened again when the interval is over; true when it is back.
  bool ReopenLostPortLocked();

  std::unique_ptr<SerialPort> serial_port_;  // null when none is open
  std::string serial_name_;                  // the port opened last
  LostDeviceRetry serial_retry_;
};

}  // namespace velmarin
