#include "cli/list_switch_devices_command.h"

#include <atomic>
#include <cstdio>

#include "base/message_subject.h"
#include "cli/stderr_messages.h"
#include "platform/hidapi_transport.h"
#include "platform/termios_serial.h"
#include "switch/input_backend_choice.h"
#include "switch/switch_device.h"

namespace velmarin::cli {
int RunListSwitchDevicesCommand(const Options& /*options*/) {
  HidapiTransport hid;
  TermiosSerialOpener serial;
  StderrMessages messages;
  std::atomic<SwitchKind> switch_kind{SwitchKind::kNone};
  SwitchDevices devices(hid, serial, messages, switch_kind);
  for (const std::string& name : devices.ListSwitchDevices()) std::printf("%s\n", name.c_str());
  // The list stays plain on stdout; how the switch's key strokes would be sent goes beside it.
  const InputBackendChoice choice = ChooseInputBackendForSession(messages);
  PrintMessageLine("",
                   "input backend: " + InputBackendName(choice.kind) + " (" + choice.reason + ")");
  return 0;
}

}  // namespace velmarin::cli
