#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "base/message_sink.h"
#include "control/monitoring_controller.h"
#include "control/shared_state.h"
#include "platform/hid_transport.h"
#include "platform/input_synthesizer.h"
#include "platform/modem_lines.h"
#include "switch/switch_device.h"
#include "switch/switch_monitor.h"
#include "transfer/folder_monitor.h"

namespace velmarin {

// The devices and steps a running program works with; the real ones in the program, doubles
// in tests.
struct SessionBackends {
  HidTransport& hid;
  SerialPortOpener& serial;
  InputSynthesizer& input;
  TransferPipeline& pipeline;
  MessageSink& messages;
};

// One run of the program from start-up to shutdown, with or without a window: the shared
// state, the switch device, the two worker threads and the order in which they come and go.
class ProgramSession {
 public:
  using TransferredCallback = std::function<void(int count, const std::filesystem::path&)>;

  ProgramSession(ProgramDir program_dir, SessionBackends backends,
                 TransferredCallback on_transferred = {});
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  // Loads the settings (creating "velmarin.ini" when missing), moves leftover images to
  // "bkup" when EvacuateAtStartup asks for it, opens the switch device; monitoring is off.
  // Returns the status text "IDを入力して下さい".
  std::string StartUp();
  // "IDで開始" with `id` (code page 932); returns the status text.
  std::string StartWithId(std::string id);
  // "監視停止"; returns the status text.
  std::string Stop();
  // Stops monitoring and waits for both threads, closes the serial port, shuts the USB-IO
  // access down and writes the settings changed in this run (SaveChangedSettings), nothing
  // when none changed. False with `error` when the settings could not be written.
  bool ShutDown(std::string* error);

  SharedState& state() { return state_; }
  SwitchDevices& switch_devices() { return devices_; }
  MonitoringController& controller() { return controller_; }

 private:
  void RunSwitchThread(std::stop_token stop);

  SessionBackends backends_;
  SharedState state_;
  SwitchDevices devices_;
  SwitchProgress switch_progress_;
  FolderMonitorContext folder_context_;
  MonitoringController controller_;
  bool shut_down_ = false;
};

}  // namespace velmarin
