#include "cli/list_switch_devices_command.h"

#include <atomic>
#include <cstdio>

#include "platform/hidapi_transport.h"
#include "platform/termios_serial.h"
#include "switch/switch_device.h"

namespace velmarin::cli {
namespace {

// Listing probes serial ports only; nothing here shows a message, but the device layer
// wants somewhere to send one.
class StderrMessages final : public MessageSink {
 public:
  void ShowMessage(std::string_view text) override {
    std::fprintf(stderr, "velmarin: %.*s\n", static_cast<int>(text.size()), text.data());
  }
};

}  // namespace

int RunListSwitchDevicesCommand(const Options& /*options*/) {
  HidapiTransport hid;
  TermiosSerialOpener serial;
  StderrMessages messages;
  std::atomic<int> switch_kind{0};
  SwitchDevices devices(hid, serial, messages, switch_kind);
  for (const std::string& name : devices.ListSwitchDevices()) std::printf("%s\n", name.c_str());
  return 0;
}

}  // namespace velmarin::cli
