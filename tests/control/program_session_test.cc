#include "control/program_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "platform/encoding.h"
#include "platform/inotify_folder_events.h"
#include "settings/settings_file.h"
#include "support/cp932_text_testing.h"
#include "support/pictures.h"
#include "support/program_process.h"
#include "support/recorded_messages.h"
#include "support/recording_input.h"
#include "support/scripted_serial_port.h"
#include "support/simulated_usb_io_board.h"
#include "support/temp_dir.h"
#include "transfer/image_transfer_pipeline.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// No image arrives in these tests; a pipeline that would take one over is never asked.
class UnusedPipeline : public TransferPipeline {
 public:
  std::optional<TransferTarget> BuildTarget(const Settings&, const Cp932Text&, const LocalTime&,
                                            const OpenTransferFolder&,
                                            std::string* error) override {
    *error = "unexpected";
    return std::nullopt;
  }
  std::optional<Dib> Read(const fs::path&, StillFormat, ImageResult& result) override {
    result.status = ImageStatus::kSourceNotOpened;
    return std::nullopt;
  }
  ImageResult Process(CapturedPicture&, FileNaming&, const Settings&, const Cp932Text&,
                      const LocalTime&, LastErrorText&) override {
    return {ImageStatus::kSourceNotOpened, {}};
  }
};

std::string Utf8(const std::string& cp932) { return Cp932ToUtf8(Cp932Text(cp932)).value_or("?"); }

class ProgramSessionTest : public ::testing::Test {
 protected:
  // Starts up, then edits the file behind the program's back, as a station's set-up does while
  // it runs; returns the record now in the file.
  Settings StartAndEditTheFile() {
    WriteSettingsFile(program_dir_, [](Settings&) {});
    Session().StartUp();
    Settings edited = Session().state().settings();
    edited[SettingSlot::WatchFolder] = Cp932Text("/edited");
    OwnMessage error;
    EXPECT_TRUE(SaveSettings(program_dir_, edited, &error)) << error.english;
    return edited;
  }

  // A session of its own on `pipeline`, started with the ID "1", once its folder thread has
  // looked at the watch folder (the program folder): every still saved from now on is new.
  std::unique_ptr<ProgramSession> WatchingSession(TransferPipeline& pipeline) {
    auto session = std::make_unique<ProgramSession>(
        program_dir_, SessionBackends{hid_, serial_, input_, pipeline, messages_, folder_events_},
        ProgramSession::TransferredCallback{}, [this](const fs::path&, bool) { watching_ = true; });
    session->StartUp();
    session->StartWithId(Cp932Text("1"));
    EXPECT_TRUE(WaitFor([&] { return watching_.load(); }, 10s));
    return session;
  }

  ProgramSession& Session() {
    if (!session_) {
      session_ = std::make_unique<ProgramSession>(
          program_dir_,
          SessionBackends{hid_, serial_, input_, pipeline_, messages_, folder_events_}, nullptr,
          [this](const fs::path&, bool) { ++folder_runs_watching_; });
    }
    return *session_;
  }

  TempDir dir_;
  ProgramDir program_dir_{dir_.path(), Cp932Text(dir_.path().string())};
  SimulatedHidTransport hid_;
  ScriptedSerialOpener serial_;
  RecordingInput input_;
  UnusedPipeline pipeline_;
  InotifyFolderEvents folder_events_;
  RecordedMessages messages_;
  std::atomic<bool> watching_ = false;
  std::unique_ptr<ProgramSession> session_;
  // Runs of the folder thread that have looked at their folder (and so set their count).
  std::atomic<int> folder_runs_watching_{0};
};

TEST_F(ProgramSessionTest, StartUpEvacuatesThenOpensTheSwitchWithMonitoringOff) {
  WriteSettingsFile(program_dir_, [](Settings& s) {
    s[SettingSlot::EvacuateAtStartup] = Cp932Text("1");
    s[SettingSlot::SwitchDevice] = Cp932Text("COM2");
  });
  serial_.AddPort("COM2", /*busy=*/true);
  for (const char* name : {"a.jpg", "b.JPG", "c.bmp"}) WriteFileBytes(dir_ / name, "x");

  EXPECT_EQ(Utf8(Session().StartUp().bytes()), "IDを入力して下さい");
  // The files are moved beside the caller; the shutdown's wait covers that work too.
  ASSERT_TRUE(WaitFor([&] { return !Session().WorkersRunning(); }, 10s));
  for (const char* name : {"a.jpg", "b.JPG", "c.bmp"}) {
    EXPECT_TRUE(fs::exists(dir_ / "bkup" / name)) << name;
    EXPECT_FALSE(fs::exists(dir_ / name)) << name;
  }
  EXPECT_EQ(Session().state().switch_kind, SwitchKind::kError);
  EXPECT_EQ(messages_.texts(), std::vector<std::string>{"COM2 is not available"});
  EXPECT_FALSE(Session().state().monitoring_active);
  EXPECT_EQ(Utf8(Session().StartWithId(Cp932Text("5")).value().bytes()),
            "COM2スイッチエラー 監視中");
}

TEST_F(ProgramSessionTest, WithoutEvacuationNothingMovesAndNoBackupFolderAppears) {
  WriteFileBytes(dir_ / "a.jpg", "x");
  Session().StartUp();
  EXPECT_TRUE(fs::exists(dir_ / "a.jpg"));
  EXPECT_FALSE(fs::exists(dir_ / "bkup"));
  EXPECT_EQ(Session().state().switch_kind, SwitchKind::kNone);
}

TEST_F(ProgramSessionTest, SerialSwitchFiresTheKeyAndShutdownReleasesThePortAndSaves) {
  WriteSettingsFile(program_dir_, [](Settings& s) {
    s[SettingSlot::SwitchDevice] = Cp932Text("COM1");
    s[SettingSlot::PollIntervalMs] = Cp932Text("1");
    s[SettingSlot::RestAfterEventMs] = Cp932Text("1");
    s[SettingSlot::KeyCode] = Cp932Text("0D");
  });
  auto lines = serial_.AddPort("COM1");
  Session().StartUp();
  EXPECT_EQ(Session().state().switch_kind, SwitchKind::kSerial);
  EXPECT_TRUE(lines->dtr_and_rts_raised());
  EXPECT_EQ(Utf8(Session().StartWithId(Cp932Text("7")).value().bytes()), "COM1 監視中");

  ASSERT_TRUE(WaitFor([&] { return lines->status_reads() > 0; }, 10s));
  EXPECT_EQ(input_.prepares(), 1);  // the input devices are made before the first poll
  lines->SetStatus(0x20);           // DSR on: the ON edge
  ASSERT_TRUE(WaitFor([&] { return input_.events().size() >= 2; }, 10s));
  EXPECT_EQ(input_.events(), (std::vector<std::string>{"down 13", "up 13"}));

  Session().state().SetSlot(SettingSlot::TextFont, Cp932Text("changed in this run"));
  std::string error;
  ASSERT_TRUE(Session().ShutDown(&error)) << error;
  EXPECT_FALSE(serial_.IsHeld("COM1"));
  EXPECT_FALSE(Session().state().monitoring_active);
  OwnMessage warning;
  EXPECT_EQ(LoadSettings(program_dir_, &warning)[SettingSlot::TextFont], "changed in this run");
}

TEST_F(ProgramSessionTest, ShutdownKeepsEditsMadeToTheFileWhileRunning) {
  StartAndEditTheFile();
  std::string error;
  const std::string edited_file = ReadFileBytes(dir_ / "velmarin.ini");

  ASSERT_TRUE(Session().ShutDown(&error)) << error;
  EXPECT_EQ(ReadFileBytes(dir_ / "velmarin.ini"), edited_file) << "nothing changed in this run";
}

TEST_F(ProgramSessionTest, ShutdownWritesOnlyWhatAFrontEndStoredIntoTheSharedState) {
  const Settings edited = StartAndEditTheFile();
  std::string error;
  // The evacuation toggle of the window, and a dialog that stores its slots whole.
  Session().state().SetSlot(SettingSlot::EvacuateAtStartup, Cp932Text("1"));
  Settings from_dialog = Session().state().settings();
  from_dialog[SettingSlot::NameFormat] = Cp932Text("$i");
  Session().state().SetSettings(from_dialog);

  ASSERT_TRUE(Session().ShutDown(&error)) << error;
  Settings expected = edited;
  expected[SettingSlot::EvacuateAtStartup] = Cp932Text("1");
  expected[SettingSlot::NameFormat] = Cp932Text("$i");
  EXPECT_EQ(ReadFileBytes(dir_ / "velmarin.ini"), FormatSettingsFile(expected));
}

TEST_F(ProgramSessionTest, UsbIoBoardIsSetToOnesAtStartUpAndClosedAtShutdown) {
  WriteSettingsFile(program_dir_,
                    [](Settings& s) { s[SettingSlot::SwitchDevice] = Cp932Text("USB-IO"); });
  auto board = hid_.AddBoard("/dev/hidraw7");
  Session().StartUp();
  EXPECT_EQ(Session().state().switch_kind, SwitchKind::kUsbIo);
  ASSERT_FALSE(board->OutputReports().empty());
  EXPECT_EQ(board->OutputReports().front(),
            (std::vector<std::uint8_t>{0x00, 0x01, 0xFF, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Utf8(Session().StartWithId(Cp932Text("")).value().bytes()), "USB-IO 監視中");
  EXPECT_EQ(Session().state().CaptureId(), "0");
  std::string error;
  ASSERT_TRUE(Session().ShutDown(&error)) << error;
  EXPECT_EQ(board->OpenHandles(), 0);
}

TEST_F(ProgramSessionTest, FolderCommandChangesSettingsWhileStoppedAndAlwaysRestarts) {
  for (const bool running_before : {false, true}) {
    SCOPED_TRACE(running_before);
    session_.reset();
    Session().StartUp();
    if (running_before) Session().StartWithId(Cp932Text("1"));
    bool stopped_during_change = false;
    Session().RunSettingsCommand(SettingsCommand::kFolder, [&] {
      stopped_during_change = !Session().state().monitoring_active;
      Session().state().SetSlot(SettingSlot::TransferFolder, Cp932Text("/elsewhere"));
    });
    EXPECT_TRUE(stopped_during_change);
    EXPECT_TRUE(Session().state().monitoring_active);
    EXPECT_EQ(Session().state().Slot(SettingSlot::TransferFolder), "/elsewhere");
    // Saved at once, so a crash or a lost X server cannot take it.
    OwnMessage warning;
    EXPECT_EQ(LoadSettings(program_dir_, &warning)[SettingSlot::TransferFolder], "/elsewhere");
  }
}

TEST_F(ProgramSessionTest, FolderCommandRestartsOnlyWhenResumedAndNoOtherCommandIsOpen) {
  Session().StartUp();
  Session().StartWithId(Cp932Text("1"));
  Session().BeginSettingsCommand(SettingsCommand::kFolder);
  Session().EndSettingsCommand(SettingsCommand::kFolder);
  EXPECT_FALSE(Session().state().monitoring_active) << "the pause comes first";
  // Another command opened within the pause keeps monitoring off until it ends.
  Session().BeginSettingsCommand(SettingsCommand::kSwitch);
  Session().ResumeMonitoring();
  EXPECT_FALSE(Session().state().monitoring_active);
  Session().EndSettingsCommand(SettingsCommand::kSwitch);
  EXPECT_TRUE(Session().state().monitoring_active);
}

// SIGTERM or a logout while the switch dialog is open: the shutdown closes the port; when the
// dialog returns, nothing is opened or started again, and what the user confirmed is saved.
TEST_F(ProgramSessionTest, DialogOpenAtShutdownReopensNothingAndKeepsItsChange) {
  WriteSettingsFile(program_dir_,
                    [](Settings& s) { s[SettingSlot::SwitchDevice] = Cp932Text("COM1"); });
  serial_.AddPort("COM1");
  serial_.AddPort("COM2");
  Session().StartUp();
  Session().StartWithId(Cp932Text("1"));
  Session().BeginSettingsCommand(SettingsCommand::kSwitch);
  Session().BeginShutDown();
  std::string error;
  ASSERT_TRUE(Session().ShutDown(&error)) << error;

  Session().state().SetSlot(SettingSlot::SwitchDevice, Cp932Text("COM2"));  // OK in the dialog
  Session().EndSettingsCommand(SettingsCommand::kSwitch);
  Session().ResumeMonitoring();
  EXPECT_FALSE(serial_.IsHeld("COM1"));
  EXPECT_FALSE(serial_.IsHeld("COM2"));
  EXPECT_FALSE(Session().state().monitoring_active);
  OwnMessage warning;
  EXPECT_EQ(LoadSettings(program_dir_, &warning)[SettingSlot::SwitchDevice], "COM2");
}

// A pipeline whose every image hangs until the test lets it go, as one on a stalled network
// folder does.
class StuckPipeline final : public UnusedPipeline {
 public:
  std::optional<TransferTarget> BuildTarget(const Settings&, const Cp932Text&, const LocalTime&,
                                            const OpenTransferFolder&,
                                            std::string* error) override {
    std::unique_lock lock(mutex_);
    entered_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    *error = "released";
    return std::nullopt;
  }
  void WaitUntilEntered() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return entered_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool released_ = false;
};

// The window's close with an image in hand: the first half of the shutdown returns at once and
// the front end sees the image being finished until the folder thread is done.
TEST_F(ProgramSessionTest, ShutdownWithAStuckImageNeverWaitsOnTheCaller) {
  StuckPipeline stuck;
  const auto watching_session = WatchingSession(stuck);
  ProgramSession& session = *watching_session;
  WriteFileBytes(dir_ / "a.jpg", JpegBytes(8, 8, 1));
  stuck.WaitUntilEntered();

  session.BeginShutDown();
  EXPECT_TRUE(session.WorkersRunning());
  ASSERT_TRUE(session.CurrentImage().has_value());
  EXPECT_EQ(session.CurrentImage()->filename(), "a.jpg");
  // Closing is final: "IDで開始" or Enter (a foot switch's key) starts nothing and changes
  // nothing, nor does a settings command's restart.
  EXPECT_EQ(session.StartWithId(Cp932Text("2")), std::nullopt);
  session.ResumeMonitoring();
  EXPECT_FALSE(session.state().monitoring_active);
  EXPECT_EQ(session.state().CaptureId(), "1");
  stuck.Release();
  ASSERT_TRUE(WaitFor([&] { return !session.WorkersRunning(); }, 10s));
  std::string error;
  EXPECT_TRUE(session.ShutDown(&error)) << error;
}

// The window's close while the capture program still writes a still: the folder thread waits
// for the writer's close, and a second close ends that wait at once. The still stays in the
// watch folder and in the journal, and the shutdown saves the settings.
TEST_F(ProgramSessionTest, CloseAgainWhileAStillIsBeingWrittenEndsTheWaitAtOnce) {
  const auto watching_session = WatchingSession(pipeline_);
  ProgramSession& session = *watching_session;
  std::ofstream writer(dir_ / "open.jpg", std::ios::binary);
  writer << "the first half";
  writer.flush();

  session.BeginShutDown();
  ASSERT_TRUE(WaitFor([&] { return session.CurrentImage().has_value(); }, 10s));
  EXPECT_EQ(session.CurrentImage()->filename(), "open.jpg");
  EXPECT_TRUE(session.WorkersRunning());
  session.state().SetSlot(SettingSlot::JpegQuality, Cp932Text("77"));
  const auto abandoned = std::chrono::steady_clock::now();
  session.AbandonFinishing();
  // Far less than the ten seconds a writer is waited for.
  ASSERT_TRUE(WaitFor([&] { return !session.WorkersRunning(); }, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - abandoned, 2s);
  ASSERT_TRUE(session.LeftImage().has_value());
  EXPECT_EQ(session.LeftImage()->filename(), "open.jpg");
  std::string error;
  EXPECT_TRUE(session.ShutDown(&error)) << error;
  EXPECT_TRUE(fs::exists(dir_ / "open.jpg"));
  EXPECT_NE(ReadFileBytes(dir_ / "velmarin.journal").find("open.jpg"), std::string::npos);
  OwnMessage warning;
  EXPECT_EQ(LoadSettings(program_dir_, &warning)[SettingSlot::JpegQuality], "77");
}

// What became of the stills reaches the front ends' tick: a still given up once (the window's
// error sound), that the latest still failed until one goes through, and that its error ended.
TEST_F(ProgramSessionTest, TickTellsAStillGivenUpUntilAStillGoesThrough) {
  // Nothing drawn: a good still is copied as it is.
  WriteSettingsFile(program_dir_, [](Settings& s) {
    s[SettingSlot::SourceRange] = Cp932Text("");
    s[SettingSlot::TextLines] = Cp932Text("");
  });
  ImageTransferPipeline real;
  const auto watching_session = WatchingSession(real);
  ProgramSession& session = *watching_session;
  const auto save = [&](const std::string& name, const std::string& bytes) {
    WriteFileBytes(dir_ / "capture.tmp", bytes);
    fs::rename(dir_ / "capture.tmp", dir_ / name);
  };
  session.Tick();
  save("broken.bmp", "not a picture");
  TickChanges changes;
  ASSERT_TRUE(WaitFor([&] { return (changes = session.Tick()).failed_still.has_value(); }, 10s));
  EXPECT_EQ(changes.failed_still->filename(), "broken.bmp");
  EXPECT_TRUE(changes.latest_still_failed);
  EXPECT_FALSE(changes.count_changed);
  changes = session.Tick();
  EXPECT_FALSE(changes.failed_still.has_value()) << "told once";
  EXPECT_TRUE(changes.latest_still_failed);

  save("good.jpg", JpegBytes(64, 48, 1));
  ASSERT_TRUE(WaitFor([&] { return (changes = session.Tick()).count_changed; }, 10s));
  EXPECT_FALSE(changes.latest_still_failed);
  EXPECT_TRUE(changes.error_cleared);
  EXPECT_EQ(session.state().image_count, 1);
  session.BeginShutDown();
  std::string error;
  EXPECT_TRUE(session.ShutDown(&error)) << error;
}

TEST_F(ProgramSessionTest, SwitchCommandClosesThePortForTheDialogAndReopensTheNewDevice) {
  WriteSettingsFile(program_dir_, [](Settings& s) {
    s[SettingSlot::SwitchDevice] = Cp932Text("COM1");
    s[SettingSlot::PollIntervalMs] = Cp932Text("1");
  });
  serial_.AddPort("COM1");
  auto com2 = serial_.AddPort("COM2");
  Session().StartUp();
  ASSERT_TRUE(serial_.IsHeld("COM1"));

  bool released_during_dialog = false;
  const Cp932Text status = Session().RunSettingsCommand(SettingsCommand::kSwitch, [&] {
    released_during_dialog =
        !serial_.IsHeld("COM1") && Session().state().switch_kind == SwitchKind::kNone;
    Session().state().SetSlot(SettingSlot::SwitchDevice, Cp932Text("COM2"));
  });
  EXPECT_TRUE(released_during_dialog);
  EXPECT_EQ(Utf8(status.bytes()), "COM2 監視中");
  EXPECT_TRUE(serial_.IsHeld("COM2"));
  EXPECT_EQ(Session().state().switch_kind, SwitchKind::kSerial);
  // The new switch thread polls the new port.
  EXPECT_TRUE(WaitFor([&] { return com2->status_reads() > 0; }, 10s));

  // A cancelled dialog still reopens the device and starts monitoring; a device that does
  // not open is reported and named in the status.
  Session().Stop();
  serial_.AddPort("COM3", /*busy=*/true);
  Session().state().SetSlot(SettingSlot::SwitchDevice, Cp932Text("COM3"));
  EXPECT_EQ(Utf8(Session().RunSettingsCommand(SettingsCommand::kSwitch, {}).bytes()),
            "COM3スイッチエラー 監視中");
  EXPECT_EQ(messages_.texts().back(), "COM3 is not available");
  EXPECT_TRUE(Session().state().monitoring_active);
  Session().state().SetSlot(SettingSlot::SwitchDevice, Cp932Text("NONE"));
  EXPECT_EQ(Utf8(Session().RunSettingsCommand(SettingsCommand::kSwitch, {}).bytes()),
            "スイッチ未接続 監視中");
}

TEST_F(ProgramSessionTest, TickSeesEachCountChangeOnceAndEachNewError) {
  // Started, and its folder thread has begun counting from 0.
  const auto watching_session = WatchingSession(pipeline_);
  ProgramSession& session = *watching_session;
  EXPECT_FALSE(session.Tick().count_changed);
  session.state().image_count = 2;  // two images within one tick: one change
  EXPECT_TRUE(session.Tick().count_changed);
  EXPECT_FALSE(session.Tick().count_changed);

  // A settings command restarts the folder thread, which counts from 0 again: a change too.
  session.RunSettingsCommand(SettingsCommand::kFolder, {});
  ASSERT_TRUE(WaitFor([&] { return session.state().image_count == 0; }, 10s));
  EXPECT_TRUE(session.Tick().count_changed);

  // A start resets the count without a change being seen.
  session.state().image_count = 4;
  session.StartWithId(Cp932Text("9"));
  EXPECT_FALSE(session.Tick().count_changed);

  session.state().last_error.Set(Cp932Text("E1"));
  EXPECT_EQ(session.Tick().new_error, "E1");
  EXPECT_EQ(session.Tick().new_error, std::nullopt);
  session.state().last_error.Set(Cp932Text("E1"));  // the same text again is a new failure
  EXPECT_EQ(session.Tick().new_error, "E1");

  // Several within one tick (stills vanishing one by one): the newest for the title, each
  // one before it for the headless line.
  for (const char* text : {"E2", "E3", "E4"}) session.state().last_error.Set(Cp932Text(text));
  const TickChanges changes = session.Tick();
  EXPECT_EQ(changes.new_error, "E4");
  ASSERT_EQ(changes.earlier_errors.size(), 2u);
  EXPECT_EQ(changes.earlier_errors[0].first, "E2");
  EXPECT_EQ(changes.earlier_errors[1].first, "E3");
  EXPECT_TRUE(session.Tick().earlier_errors.empty());
}

// The station's listener (the session bus) hears of each changed status once, at a tick.
class RecordingStationEvents final : public StationEvents {
 public:
  void StillTransferred(const fs::path&, const fs::path&, const Cp932Text&) override {}
  void StillFailed(const fs::path&, const Cp932Text&) override {}
  void WaitingChanged(std::uint32_t) override {}
  void StatusChanged(const StationStatus& status) override { statuses.push_back(status); }
  std::vector<StationStatus> statuses;
};

TEST_F(ProgramSessionTest, TickGivesTheListenerEachChangedStatusOnce) {
  Session().StartUp();
  RecordingStationEvents events;
  Session().SetStationEvents(&events);
  Session().Tick();
  Session().Tick();
  ASSERT_EQ(events.statuses.size(), 1u);
  EXPECT_EQ(events.statuses[0].id, "0");
  EXPECT_EQ(events.statuses[0].program_folder, dir_.path().string());

  // SetId takes the ID as a start does, but leaves monitoring off.
  Session().state().last_error.Set(Cp932Text("E1"));
  Session().SetId(Cp932Text("\x8E\xCA"));  // 写
  Session().Tick();
  ASSERT_EQ(events.statuses.size(), 2u);
  EXPECT_EQ(events.statuses[1].id, "写");
  EXPECT_EQ(events.statuses[1].last_error, "");
  EXPECT_FALSE(events.statuses[1].monitoring);

  Session().SetStationEvents(nullptr);
  Session().StartWithId(Cp932Text("8"));
  Session().Tick();
  EXPECT_EQ(events.statuses.size(), 2u);
}

}  // namespace
}  // namespace velmarin::test
