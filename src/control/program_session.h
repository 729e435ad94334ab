#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "base/message_sink.h"
#include "control/monitoring_controller.h"
#include "control/shared_state.h"
#include "control/station_events.h"
#include "dicom/pacs_outbox.h"
#include "platform/folder_events.h"
#include "platform/hid_transport.h"
#include "platform/input_synthesizer.h"
#include "platform/modem_lines.h"
#include "settings/settings_file.h"
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
  FolderEvents& folder_events;
};

// The settings commands stop monitoring, let the user change settings, then start both threads
// again, whatever the outcome and whatever the state before.
enum class SettingsCommand {
  kFolder,  // the folder and naming commands: a 200 ms pause before the restart
  kSwitch,  // the switch/event command: the switch device is closed meanwhile and opened again
};

// What changed since the previous 100 ms tick.
struct TickChanges {
  bool count_changed = false;          // `image_count` moved (up, or back to 0 by a restart)
  std::optional<Cp932Text> new_error;  // a LastErrorText set since, WithDetail (code page 932)
  std::string new_error_subject;       // the image it is about (UTF-8 path), or empty
  // The texts set since the previous tick before `new_error`, oldest first, with their
  // subjects: a headless run says each one.
  std::vector<std::pair<Cp932Text, std::string>> earlier_errors;
  bool error_cleared = false;  // the LastErrorText shown at the last tick is gone
  // The still given up since the last tick (the last one, when several were).
  std::optional<std::filesystem::path> failed_still;
  // Whether the last still the folder thread was done with was given up; false once a still
  // went through after it (or a new start).
  bool latest_still_failed = false;
};

// One run of the program from start-up to shutdown, with or without a window: the shared
// state, the switch device, the two worker threads and the order in which they come and go.
class ProgramSession {
 public:
  using TransferredCallback = std::function<void(int count, const std::filesystem::path&)>;
  // A watch folder first looked at, and whether file events cover it.
  using WatchingCallback = std::function<void(const std::filesystem::path& folder, bool events)>;

  ProgramSession(ProgramDir program_dir, SessionBackends backends,
                 TransferredCallback on_transferred = {}, WatchingCallback on_watching = {});
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  // Loads the settings (creating "velmarin.ini" when missing), opens the switch device;
  // monitoring is off. Beside the caller, it removes what killed runs left and moves leftover
  // images to "bkup" when EvacuateAtStartup asks for it; the folder thread starts looking
  // only after that.
  // Returns the status text "IDを入力して下さい".
  Cp932Text StartUp();
  // "IDで開始" with `id`; returns the status text. Once a shutdown has begun, closing is final:
  // nothing changes and nullopt is returned.
  std::optional<Cp932Text> StartWithId(Cp932Text id);
  // "監視停止"; returns the status text. The next start leaves the stills then present alone.
  Cp932Text Stop();
  // The ID of the stills from now on, as "IDで開始" takes it (empty gives "0", the count starts
  // again), without starting monitoring when it is off.
  void SetId(Cp932Text id);

  // The listener of what happens at this station (the session bus), or null; set before
  // monitoring starts and cleared before the listener goes away. Once cleared, no call to
  // the old listener is under way.
  void SetStationEvents(StationEvents* events);
  // What other programs may read of the station; from any thread.
  StationStatus StatusNow() const;
  // Whether a shutdown began; from any thread. Nothing is started or taken over from then on.
  bool ShuttingDown() const { return shutting_down_; }
  // Whether a settings command is between Begin and End (its dialog is open).
  bool SettingsCommandOpen() const { return open_commands_ > 0; }

  // The restart protocol of the settings commands, around the command itself: the folder
  // thread goes on where it stopped, so stills saved meanwhile are taken. Begin stops
  // monitoring (for kSwitch it also closes the switch device, so the dialog can list the
  // ports). End saves what the command changed at once (merged into the file as at shutdown,
  // a failure said through the message sink), then for kSwitch reopens the switch device and
  // starts both threads; for kFolder the front end calls ResumeMonitoring after
  // kFolderCommandPause, on a timer. End returns the status text for the switch state, which
  // only the switch command shows. Call End after every Begin, whatever the command did. After
  // BeginShutDown nothing is reopened or started again; a change confirmed meanwhile is still
  // saved.
  static constexpr std::chrono::milliseconds kFolderCommandPause{200};
  void BeginSettingsCommand(SettingsCommand command);
  Cp932Text EndSettingsCommand(SettingsCommand command);
  // Starts both threads after a folder command, unless another command is open or the
  // program is shutting down.
  void ResumeMonitoring();
  // Begin, `change` (which may change the settings through state()), End, and the restart
  // at once.
  Cp932Text RunSettingsCommand(SettingsCommand command, const std::function<void()>& change);
  // Saves the settings changed since the last save (a menu's toggle), as End does. A failure
  // is said through the message sink, once while it stays the same.
  void SaveConfirmedChanges();
  // The encoding "velmarin.ini" was found in at start-up.
  SettingsEncoding settings_encoding() const { return settings_encoding_; }

  // Makes the input backend ready ahead of an event (uinput devices need a moment before
  // their first event is seen).
  void PrepareInput();
  // Synthesizes the configured key stroke or click now, with the stored settings, whatever
  // the monitoring state ("２秒後にイベント確認").
  void FireCaptureEventNow();
  // Moves the mouse pointer to screen (x, y) and clicks nothing ("位置確認").
  void MovePointerTo(int x, int y);

  // The 100 ms tick of the front ends: whether `image_count` changed since the last tick (the
  // chime and the title), a LastErrorText set or cleared since (the title, or stderr when
  // headless), and the stills given up (the window's error sound and status line). A status
  // that changed since the last tick goes to the station's listener.
  TickChanges Tick();

  // Called on the folder thread with each still after it was journalled, just before its
  // transfer; set before monitoring starts (the headless run's test hold).
  void SetBeforeTransfer(std::function<void(const ArrivedStill&)> hook) {
    folder_context_.before_transfer = std::move(hook);
  }
  // Called on the folder thread with each still whose image took its name on the share, before
  // the journal forgets it; set before monitoring starts (the headless run's test hold).
  void SetAfterClaim(std::function<void(const ArrivedStill&)> hook) {
    folder_context_.after_claim = std::move(hook);
  }

  // Called on the start-up's file work before it begins; set before StartUp (the headless
  // run's test hold).
  void SetBeforeStartUpFiles(std::function<void()> hook) {
    before_start_up_files_ = std::move(hook);
  }

  // The image the folder thread is working on, if any: a shutdown waits for it.
  std::optional<std::filesystem::path> CurrentImage() const { return image_in_hand_.Get(); }

  // The first half of a shutdown, which does not wait: monitoring stops and nothing starts
  // again; the folder thread finishes the stills that arrived (CurrentImage) while the front
  // end keeps answering, until WorkersRunning turns false.
  void BeginShutDown();
  // A second stop while the folder thread finishes: every wait ends at once, and the image in
  // hand and the stills after it stay in the watch folder and the journal for the next run.
  // Does not wait; the thread ends soon after (a picture being processed is done first).
  void AbandonFinishing();
  // The image an abandoned finishing left unfinished, once the folder thread has ended.
  std::optional<std::filesystem::path> LeftImage() const { return image_in_hand_.Left(); }
  // Whether a worker or the start-up's file work still runs: what every front end waits for
  // after BeginShutDown, while it keeps answering.
  bool WorkersRunning() const;

  // Stops monitoring and waits for both threads, closes the serial port, shuts the USB-IO
  // access down and writes the settings changed in this run (SaveChangedSettings), nothing
  // when none changed. False with `error` when the settings could not be written.
  bool ShutDown(std::string* error);

  SharedState& state() { return state_; }
  SwitchDevices& switch_devices() { return devices_; }
  MonitoringController& controller() { return controller_; }

 private:
  void RunSwitchThread(std::stop_token stop);
  // Gives the listener the status when it changed since it was last given.
  void PublishStatus();
  // The folder thread's reports, to the front end and the listener.
  void OnTransferred(const TransferredStill& still);
  void OnFailed(const std::filesystem::path& source);
  void OnWaiting(std::size_t waiting);
  // Waits until the start-up's file work is done; false at a stop.
  bool WaitForStartUpFiles(std::stop_token stop) const;

  // The folder thread's message boxes, passed on; the last one is kept with the still it is
  // about, as the reason a still failed (the title's text then does not repeat it).
  class FolderMessages final : public MessageSink {
   public:
    explicit FolderMessages(MessageSink& sink) : sink_(sink) {}
    void ShowMessage(const Cp932Text& text) override;
    void ShowOwnMessage(const OwnMessage& message) override;
    // The box shown about `still` since the last call, if any; forgets it.
    std::optional<Cp932Text> TakeBoxAbout(const std::filesystem::path& still);

   private:
    // Remembers `text` as the last box, with the still the calling thread works on.
    void Keep(const Cp932Text& text);

    MessageSink& sink_;
    std::mutex mutex_;
    std::string subject_;  // the still the last box was about
    Cp932Text text_;
  };

  SessionBackends backends_;
  FolderMessages folder_messages_;
  SharedState state_;
  SwitchDevices devices_;
  SwitchProgress switch_progress_;
  ImageInHand image_in_hand_;
  std::stop_source abandon_;
  FolderMonitorMemory folder_memory_;
  PacsOutbox pacs_;  // before the threads that add to it
  FolderMonitorContext folder_context_;
  std::function<void()> before_start_up_files_;
  std::future<void> start_up_files_;  // declared before the threads that wait for it
  MonitoringController controller_;
  std::int32_t last_seen_image_count_ = 0;
  std::uint64_t last_seen_error_ = 0;
  bool error_shown_ = false;  // a LastErrorText longer than one byte at the last tick
  // What became of the stills, from the folder thread to the tick.
  mutable std::mutex outcomes_mutex_;
  std::optional<std::filesystem::path> failed_since_tick_;
  bool latest_still_failed_ = false;
  SettingsEncoding settings_encoding_ = SettingsEncoding::kShiftJis;
  std::string said_save_failure_;  // the last failure of SaveConfirmedChanges said
  bool shut_down_ = false;
  std::atomic<bool> shutting_down_{false};  // BeginShutDown or ShutDown came
  int open_commands_ = 0;                   // settings commands between Begin and End
  const TransferredCallback on_transferred_;
  std::atomic<std::uint32_t> waiting_{0};
  mutable std::mutex events_mutex_;  // held while the listener is called, and for the last still
  StationEvents* events_ = nullptr;
  std::filesystem::path last_source_;
  std::filesystem::path last_target_;
  StationStatus published_status_;  // the status the listener was last given (tick thread)
};

}  // namespace velmarin
