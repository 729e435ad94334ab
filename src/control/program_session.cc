#include "control/program_session.h"

#include <string_view>
#include <utility>

#include "base/message_subject.h"
#include "control/monitoring_commands.h"
#include "platform/encoding.h"
#include "settings/settings_file.h"
#include "switch/capture_event.h"
#include "transfer/evacuation.h"
#include "transfer/still_journal.h"
#include "transfer/stills_saved_while_stopped.h"

namespace velmarin {
namespace {

// How often a folder thread waiting for the start-up's file work looks for a stop.
constexpr std::chrono::milliseconds kStartUpFilesCheck{20};

}  // namespace

ProgramSession::ProgramSession(ProgramDir program_dir, SessionBackends backends,
                               TransferredCallback on_transferred, WatchingCallback on_watching)
    : backends_(backends),
      folder_messages_(backends.messages),
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
                      folder_messages_,
                      backends.pipeline,
                      [this](const TransferredStill& still) { OnTransferred(still); },
                      {},
                      &image_in_hand_,
                      std::move(on_watching),
                      {},
                      abandon_.get_token(),
                      {}},
      controller_(
          state_, [this](std::stop_token stop) { RunSwitchThread(stop); },
          [this](std::stop_token stop) {
            if (!WaitForStartUpFiles(stop)) return;
            pacs_.BeginRun();
            RunFolderMonitor(stop, folder_context_);
          }),
      on_transferred_(std::move(on_transferred)) {
  folder_context_.on_failed = [this](const std::filesystem::path& source) { OnFailed(source); };
  folder_context_.on_waiting = [this](std::size_t waiting) { OnWaiting(waiting); };
}

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
  OwnMessage warning;
  state_.SetLoadedSettings(LoadSettings(state_.program_dir(), &warning, &settings_encoding_));
  if (!warning.empty()) backends_.messages.ShowOwnMessage(warning);

  const Settings settings = state_.settings();
  // The file work of the start-up (folders that may be on a network) runs beside the window;
  // the folder thread waits for it before it looks at the watch folder.
  start_up_files_ = std::async(std::launch::async, [this, settings] {
    if (before_start_up_files_) before_start_up_files_();
    const auto report = [this](const OwnMessage& message) {
      backends_.messages.ShowOwnMessage(message);
    };
    TransferFolderCheck& transfer_folders = folder_memory_.transfer_folders;
    transfer_folders.KeepIn(state_.program_dir().path / kTransferFolderStateFileName, report);
    RemoveStaleTemporariesAtStartUp(settings, state_.program_dir(),
                                    transfer_folders.temporary_mark());
    // The stills a run that ended (a crash, a power cut) had not yet sent are taken first,
    // with the ID and clock they arrived with; the evacuation leaves them.
    std::vector<ArrivedStill> journalled = ReplayJournal(state_.program_dir(), settings, report);
    std::vector<StillIdentity> leave;
    for (const ArrivedStill& still : journalled) leave.push_back(still.identity);
    folder_memory_.arrivals.Restore(std::move(journalled));
    if (!EvacuationAsked(settings[SettingSlot::EvacuateAtStartup])) {
      // The stills saved while the program was not running (a crash, the restart of a
      // service) follow, with the ID of the last run.
      std::vector<ArrivedStill> saved =
          StillsSavedWhileStopped(state_.program_dir(), settings, leave);
      folder_memory_.stopped_stills_left = saved.size();
      folder_memory_.arrivals.Restore(std::move(saved));
      return;
    }
    for (const StillFormat format : {StillFormat::kJpeg, StillFormat::kBmp}) {
      EvacuateWatchFolder(settings[SettingSlot::WatchFolder], format, state_.program_dir(), report,
                          leave);
    }
  });
  pacs_.Start();
  devices_.OpenSwitchDevice(settings);
  controller_.Stop();
  return EnterIdStatusText();
}

std::optional<Cp932Text> ProgramSession::StartWithId(Cp932Text id) {
  if (shutting_down_) return std::nullopt;
  last_seen_image_count_ = 0;
  {
    // A new ID starts afresh: a still of the last one that failed is no longer shown.
    const std::lock_guard lock(outcomes_mutex_);
    latest_still_failed_ = false;
  }
  return StartMonitoringWithId(state_, controller_, std::move(id));
}

Cp932Text ProgramSession::Stop() {
  folder_memory_.start_over = true;
  return StopMonitoring(controller_);
}

void ProgramSession::SetId(Cp932Text id) {
  last_seen_image_count_ = 0;
  TakeCaptureId(state_, std::move(id));
}

void ProgramSession::SetStationEvents(StationEvents* events) {
  const std::lock_guard lock(events_mutex_);
  events_ = events;
}

StationStatus ProgramSession::StatusNow() const {
  StationStatus status;
  status.id = Cp932ToUtf8Replacing(state_.CaptureId());
  status.monitoring = state_.monitoring_active;
  status.image_count = state_.image_count;
  status.waiting = waiting_;
  const Cp932Text error = state_.last_error.Shown();
  // The title shows a text only when it is longer than one byte.
  if (error.size() > 1) status.last_error = Cp932ToUtf8Replacing(error);
  status.program_folder = state_.program_dir().path.string();
  const std::lock_guard lock(events_mutex_);
  status.last_source = last_source_.string();
  status.last_target = last_target_.string();
  return status;
}

void ProgramSession::PublishStatus() {
  {
    const std::lock_guard lock(events_mutex_);
    if (!events_) return;
  }
  StationStatus status = StatusNow();
  const std::lock_guard lock(events_mutex_);
  if (!events_ || status == published_status_) return;
  published_status_ = std::move(status);
  events_->StatusChanged(published_status_);
}

void ProgramSession::FolderMessages::ShowMessage(const Cp932Text& text) {
  Keep(text);
  sink_.ShowMessage(text);
}

void ProgramSession::FolderMessages::ShowOwnMessage(const OwnMessage& message) {
  Keep(Utf8ToCp932Replacing(message.english));
  sink_.ShowOwnMessage(message);
}

void ProgramSession::FolderMessages::Keep(const Cp932Text& text) {
  const std::lock_guard lock(mutex_);
  subject_ = MessageSubject();
  text_ = text;
}

std::optional<Cp932Text> ProgramSession::FolderMessages::TakeBoxAbout(
    const std::filesystem::path& still) {
  const std::lock_guard lock(mutex_);
  const bool about = !subject_.empty() && subject_ == still.string();
  subject_.clear();
  if (!about) return std::nullopt;
  return text_;
}

void ProgramSession::OnTransferred(const TransferredStill& still) {
  folder_messages_.TakeBoxAbout(still.source);
  {
    const std::lock_guard lock(outcomes_mutex_);
    latest_still_failed_ = false;
  }
  if (on_transferred_) on_transferred_(still.count, still.target);
  pacs_.Add(still.arrived, still.target);
  const std::lock_guard lock(events_mutex_);
  last_source_ = still.source;
  last_target_ = still.target;
  if (events_) events_->StillTransferred(still.source, still.target, still.capture_id);
}

void ProgramSession::OnFailed(const std::filesystem::path& source) {
  // The reason is the box shown about this still, if one was (a still that does not decode),
  // else the failure just set about it (unless a new start emptied it meanwhile).
  const LastErrorText::Entry said = state_.last_error.Latest();
  const Cp932Text text = folder_messages_.TakeBoxAbout(source).value_or(
      said.subject == source.string() ? WithDetail(said.text, said.detail) : Cp932Text());
  {
    const std::lock_guard lock(outcomes_mutex_);
    failed_since_tick_ = source;
    latest_still_failed_ = true;
  }
  const std::lock_guard lock(events_mutex_);
  if (events_) events_->StillFailed(source, text);
}

void ProgramSession::OnWaiting(std::size_t waiting) {
  waiting_ = static_cast<std::uint32_t>(waiting);
  const std::lock_guard lock(events_mutex_);
  if (events_) events_->WaitingChanged(waiting_);
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
  if (current == state_.FileSettings()) return;
  OwnMessage message;
  if (!SaveChangedSettings(state_.program_dir(), state_.FileSettings(), current, &message)) {
    // Said once: the next change meets the same file (write-protected, say) again.
    if (message.english != said_save_failure_) backends_.messages.ShowOwnMessage(message);
    said_save_failure_ = message.english;
    return;
  }
  said_save_failure_.clear();
  state_.SetFileSettings(current);
}

void ProgramSession::BeginShutDown() {
  shutting_down_ = true;
  controller_.Close();
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
    for (LastErrorText::Entry& earlier : state_.last_error.Since(last_seen_error_)) {
      if (earlier.generation >= latest.generation) break;
      changes.earlier_errors.emplace_back(WithDetail(earlier.text, earlier.detail),
                                          std::move(earlier.subject));
    }
    last_seen_error_ = latest.generation;
    changes.new_error = WithDetail(latest.text, latest.detail);
    changes.new_error_subject = std::move(latest.subject);
  }
  const bool error_shown = state_.last_error.Get().size() > 1;
  changes.error_cleared = error_shown_ && !error_shown;
  error_shown_ = error_shown;
  {
    const std::lock_guard lock(outcomes_mutex_);
    changes.failed_still = std::exchange(failed_since_tick_, std::nullopt);
    changes.latest_still_failed = latest_still_failed_;
  }
  PublishStatus();
  return changes;
}

bool ProgramSession::ShutDown(std::string* error) {
  shutting_down_ = true;
  controller_.Close();
  controller_.StopAndJoin();
  if (start_up_files_.valid()) start_up_files_.wait();
  pacs_.Stop();
  if (shut_down_) return true;
  shut_down_ = true;
  devices_.CloseSerialPort();
  devices_.usb_io().Shutdown();
  // Only what was changed in this run is written, into the file as it is now.
  const Settings current = state_.settings();
  OwnMessage message;
  if (!SaveChangedSettings(state_.program_dir(), state_.FileSettings(), current, &message)) {
    if (error) *error = message.english;
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
