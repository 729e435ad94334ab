#include "control/program_session.h"

#include <string_view>

#include "control/monitoring_commands.h"
#include "platform/encoding.h"
#include "settings/settings_file.h"
#include "switch/capture_event.h"
#include "transfer/evacuation.h"
#include "transfer/still_journal.h"

namespace velmarin {
namespace {

// How often a folder thread waiting for the start-up's file work looks for a stop.
constexpr std::chrono::milliseconds kStartUpFilesCheck{20};

// The settings file's messages are UTF-8, as they quote paths; a sink takes code page 932.
void ShowUtf8Message(MessageSink& messages, const std::string& utf8) {
  messages.ShowMessage(Utf8ToCp932Replacing(utf8));
}

}  // namespace

ProgramSession::ProgramSession(ProgramDir program_dir, SessionBackends backends,
                               TransferredCallback on_transferred, WatchingCallback on_watching)
    : backends_(backends),
      state_(std::move(program_dir)),
      devices_(backends.hid, backends.serial, backends.messages, state_.switch_kind),
      pacs_(state_.program_dir(), state_.last_error, backends.messages),
      folder_context_{[this] { return state_.settings(); },
                      [this] { return state_.CaptureId(); },
                      state_.program_dir(),
                      backends.folder_events,
                      folder_memory_,
                      state_.image_count,
                      state_.last_error,
                      backends.messages,
                      backends.pipeline,
                      [this, on_transferred = std::move(on_transferred)](
                          const ArrivedStill& still, const std::filesystem::path& target) {
                        if (on_transferred) on_transferred(still.count, target);
                        pacs_.Add(still, target);
                      },
                      {},
                      &image_in_hand_,
                      std::move(on_watching),
                      {},
                      abandon_.get_token()},
      controller_(
          state_, [this](std::stop_token stop) { RunSwitchThread(stop); },
          [this](std::stop_token stop) {
            if (!WaitForStartUpFiles(stop)) return;
            pacs_.BeginRun();
            RunFolderMonitor(stop, folder_context_);
          }) {}

ProgramSession::~ProgramSession() {
  // Threads never outlive the devices and the state they use.
  controller_.StopAndJoin();
  if (start_up_files_.valid()) start_up_files_.wait();
}

bool ProgramSession::WaitForStartUpFiles(std::stop_token stop) const {
  if (!start_up_files_.valid()) return true;
  while (start_up_files_.wait_for(kStartUpFilesCheck) != std::future_status::ready) {
    if (stop.stop_requested()) return false;
  }
  return true;
}

bool ProgramSession::WorkersRunning() const {
  return controller_.WorkersRunning() ||
         (start_up_files_.valid() &&
          start_up_files_.wait_for(std::chrono::seconds(0)) != std::future_status::ready);
}

Cp932Text ProgramSession::StartUp() {
  std::string warning;
  state_.SetLoadedSettings(LoadSettings(state_.program_dir(), &warning));
  if (!warning.empty()) ShowUtf8Message(backends_.messages, warning);

  const Settings settings = state_.settings();
  // The file work of the start-up (folders that may be on a network) runs beside the window;
  // the folder thread waits for it before it looks at the watch folder. Its reports quote
  // paths in UTF-8.
  start_up_files_ = std::async(std::launch::async, [this, settings] {
    const auto report = [this](std::string_view line) {
      ShowUtf8Message(backends_.messages, std::string(line));
    };
    RemoveStaleTemporariesAtStartUp(settings, state_.program_dir());
    // The stills a run that ended (a crash, a power cut) had not yet sent are taken first,
    // with the ID and clock they arrived with; the evacuation leaves them.
    std::vector<ArrivedStill> journalled = ReplayJournal(state_.program_dir(), settings, report);
    std::vector<StillIdentity> leave;
    for (const ArrivedStill& still : journalled) leave.push_back(still.identity);
    folder_memory_.arrivals.Restore(std::move(journalled));
    if (settings[SettingSlot::EvacuateAtStartup].view().find('1') == std::string_view::npos) return;
    for (const char* pattern : {"*.jpg", "*.bmp"}) {
      EvacuateWatchFolder(settings[SettingSlot::WatchFolder], pattern, state_.program_dir(), report,
                          leave);
    }
  });
  pacs_.Start();
  devices_.OpenSwitchDevice(settings);
  controller_.Stop();
  return EnterIdStatusText();
}

Cp932Text ProgramSession::StartWithId(Cp932Text id) {
  last_seen_image_count_ = 0;
  return StartMonitoringWithId(state_, controller_, std::move(id));
}

Cp932Text ProgramSession::Stop() {
  folder_memory_.start_over = true;
  return StopMonitoring(controller_);
}

void ProgramSession::BeginSettingsCommand(SettingsCommand command) {
  ++open_commands_;
  controller_.Stop();
  if (command != SettingsCommand::kSwitch) return;
  devices_.CloseSerialPort();
  if (state_.switch_kind == SwitchKind::kUsbIo) devices_.usb_io().Shutdown();
  state_.switch_kind = SwitchKind::kNone;
  // The dialog's position check moves the pointer through the input backend.
  backends_.input.Prepare();
}

Cp932Text ProgramSession::EndSettingsCommand(SettingsCommand command) {
  --open_commands_;
  // What the user confirmed is on disk before anything else can fail.
  SaveConfirmedChanges();
  // A shutdown (a signal) while the command's dialog was open: nothing opens or starts again.
  if (command == SettingsCommand::kSwitch && !shutting_down_) {
    devices_.OpenSwitchDevice(state_.settings());
    ResumeMonitoring();
  }
  return MonitoringStatusText(state_.switch_kind, state_.Slot(SettingSlot::SwitchDevice));
}

void ProgramSession::ResumeMonitoring() {
  if (!shutting_down_ && open_commands_ == 0) controller_.Start();
}

Cp932Text ProgramSession::RunSettingsCommand(SettingsCommand command,
                                             const std::function<void()>& change) {
  BeginSettingsCommand(command);
  if (change) change();
  Cp932Text status = EndSettingsCommand(command);
  if (command == SettingsCommand::kFolder) ResumeMonitoring();
  return status;
}

void ProgramSession::SaveConfirmedChanges() {
  const Settings current = state_.settings();
  std::string message;
  if (!SaveChangedSettings(state_.program_dir(), state_.FileSettings(), current, &message)) {
    ShowUtf8Message(backends_.messages, message);
    return;
  }
  state_.SetFileSettings(current);
}

void ProgramSession::BeginShutDown() {
  shutting_down_ = true;
  controller_.Stop();
}

void ProgramSession::AbandonFinishing() {
  BeginShutDown();
  abandon_.request_stop();
}

void ProgramSession::PrepareInput() { backends_.input.Prepare(); }

void ProgramSession::FireCaptureEventNow() {
  FireCaptureEvent(state_.settings(), backends_.input, &backends_.messages);
}

void ProgramSession::MovePointerTo(int x, int y) { velmarin::MovePointerTo(backends_.input, x, y); }

TickChanges ProgramSession::Tick() {
  TickChanges changes;
  const std::int32_t count = state_.image_count;
  changes.count_changed = count != last_seen_image_count_;
  last_seen_image_count_ = count;
  if (LastErrorText::Entry latest = state_.last_error.Latest();
      latest.generation != last_seen_error_) {
    last_seen_error_ = latest.generation;
    changes.new_error = WithDetail(latest.text, latest.detail);
    changes.new_error_subject = std::move(latest.subject);
  }
  return changes;
}

bool ProgramSession::ShutDown(std::string* error) {
  shutting_down_ = true;
  controller_.StopAndJoin();
  if (start_up_files_.valid()) start_up_files_.wait();
  pacs_.Stop();
  if (shut_down_) return true;
  shut_down_ = true;
  devices_.CloseSerialPort();
  devices_.usb_io().Shutdown();
  // Only what was changed in this run is written, into the file as it is now.
  const Settings current = state_.settings();
  std::string message;
  if (!SaveChangedSettings(state_.program_dir(), state_.FileSettings(), current, &message)) {
    if (error) *error = message;
    return false;
  }
  state_.SetFileSettings(current);
  return true;
}

void ProgramSession::RunSwitchThread(std::stop_token stop) {
  // Settings change only while monitoring is stopped, and every change restarts the threads,
  // so one snapshot serves the whole run.
  const Settings settings = state_.settings();
  // The input devices are made now, so they are ready by the first press.
  const SwitchKind kind = state_.switch_kind.load();
  if (kind == SwitchKind::kUsbIo || kind == SwitchKind::kSerial) backends_.input.Prepare();
  RunSwitchMonitor(stop, settings, state_.switch_kind, devices_, switch_progress_,
                   [&] { FireCaptureEvent(settings, backends_.input, &backends_.messages); });
}

}  // namespace velmarin
