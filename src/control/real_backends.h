#pragma once

#include "base/message_sink.h"
#include "control/program_session.h"
#include "platform/hidapi_transport.h"
#include "platform/inotify_folder_events.h"
#include "platform/termios_serial.h"
#include "switch/input_backend_choice.h"
#include "transfer/image_transfer_pipeline.h"

namespace velmarin {

// The real devices and steps of a running program, the same for the window and --headless;
// only where messages go differs.
class RealBackends {
 public:
  explicit RealBackends(MessageSink& messages) : messages_(messages), input_(messages) {}
  RealBackends(const RealBackends&) = delete;
  RealBackends& operator=(const RealBackends&) = delete;

  SessionBackends backends() {
    return {hid_, serial_, input_.input(), pipeline_, messages_, folder_events_};
  }

 private:
  MessageSink& messages_;
  HidapiTransport hid_;
  TermiosSerialOpener serial_;
  SessionInput input_;
  ImageTransferPipeline pipeline_;
  InotifyFolderEvents folder_events_;
};

}  // namespace velmarin
