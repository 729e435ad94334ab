#include "switch/switch_device.h"

#include <algorithm>

namespace velmarin {
namespace {

bool Contains(const std::string& text, const char* word) {
  return text.find(word) != std::string::npos;
}

}  // namespace

bool IsSerialSwitchName(const std::string& name) {
  return name.find("COM") != std::string::npos || name.starts_with("/dev/");
}

SwitchDevices::SwitchDevices(HidTransport& hid, SerialPortOpener& serial, MessageSink& messages,
                             std::atomic<SwitchKind>& switch_kind,
                             std::function<Clock::time_point()> now)
    : serial_(serial),
      messages_(messages),
      switch_kind_(switch_kind),
      usb_io_(hid, messages, now),
      serial_retry_(std::move(now)) {}

void SwitchDevices::OpenSwitchDevice(const Settings& settings) {
  const std::string& name = settings[SettingSlot::SwitchDevice].bytes();
  if (IsSerialSwitchName(name)) {
    if (!OpenSerialSwitch(name)) {
      switch_kind_ = SwitchKind::kError;
    } else {
      // A name such as "COMNONE" opens nothing: there is no port to poll, so no switch.
      switch_kind_ = SerialPortOpen() ? SwitchKind::kSerial : SwitchKind::kNone;
    }
    return;
  }
  if (Contains(name, "NONE")) {
    switch_kind_ = SwitchKind::kNone;
    return;
  }
  // Any other name still searches the boards, but only "USB-IO" uses one.
  if (!usb_io_.Init() || !Contains(name, "USB-IO")) {
    switch_kind_ = SwitchKind::kError;
    return;
  }
  // All pins of port 0 to 1, so pin 0 reads the switch.
  usb_io_.WritePort(0, 0xFF, false);
  switch_kind_ = SwitchKind::kUsbIo;
}

bool SwitchDevices::OpenSerialSwitch(const std::string& name) {
  if (Contains(name, "NONE")) return true;
  {
    const std::lock_guard lock(serial_mutex_);
    serial_port_.reset();
    serial_name_ = name;
    serial_retry_.Reset();
    serial_port_ = OpenPortLocked();
    if (serial_port_) return true;
  }
  messages_.ShowMessage(Cp932Text(name + " is not available"));
  return false;
}

std::unique_ptr<SerialPort> SwitchDevices::OpenPortLocked() {
  std::unique_ptr<SerialPort> port = serial_.Open(serial_name_);
  // A device whose modem lines cannot be raised (a pseudo-terminal) cannot power or read a
  // switch: it is no serial switch.
  if (port && port->RaiseDtrRts()) return port;
  return nullptr;
}

void SwitchDevices::CloseSerialPort() {
  const std::lock_guard lock(serial_mutex_);
  serial_port_.reset();
  serial_retry_.Reset();
}

bool SwitchDevices::SerialPortOpen() const {
  const std::lock_guard lock(serial_mutex_);
  return serial_port_ != nullptr;
}

std::vector<std::string> SwitchDevices::ListSwitchDevices() {
  std::vector<std::string> names;
  const auto add_if_it_opens = [&](const std::string& name) {
    if (serial_.Open(name) != nullptr) names.push_back(name);
  };
  for (char digit = '1'; digit <= '9'; ++digit) add_if_it_opens(std::string("COM") + digit);
  std::vector<std::string> adapters = serial_.UsbSerialDeviceNames();
  std::sort(adapters.begin(), adapters.end());
  for (const std::string& adapter : adapters) add_if_it_opens(adapter);
  names.push_back("NONE");
  names.push_back("USB-IO");
  return names;
}

bool SwitchDevices::ReadUsbPin0(int* sample) {
  const auto value = usb_io_.ReadPort(0, false);
  if (!value) return false;
  *sample = *value % 2;
  return true;
}

bool SwitchDevices::ReadModemStatus(std::uint32_t* status) {
  const std::lock_guard lock(serial_mutex_);
  if (serial_retry_.lost() && !ReopenLostPortLocked()) return false;
  if (serial_port_ == nullptr) return false;
  if (serial_port_->ReadModemStatus(status)) {
    serial_retry_.Reset();
    return true;
  }
  if (serial_retry_.NoteFailure()) {
    serial_port_.reset();
    messages_.ShowOwnMessage(
        {serial_name_ +
             " does not answer (unplugged?); the foot switch does nothing until it is back. "
             "Opening it again.",
         serial_name_ + " が応答しません（抜けていませんか）。戻るまでフットスイッチは働きません。"
                        "開き直しています。"});
  }
  return false;
}

bool SwitchDevices::ReopenLostPortLocked() {
  if (!serial_retry_.TryDue()) return false;
  serial_port_ = OpenPortLocked();
  if (!serial_port_) {
    serial_retry_.TryFailed();
    return false;
  }
  serial_retry_.Reset();
  messages_.ShowOwnMessage({serial_name_ + " is back; the foot switch works again.",
                            serial_name_ + " が戻りました。フットスイッチがまた働きます。"});
  return true;
}

}  // namespace velmarin
