#include "cli/headless_command.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>

#include "base/message_subject.h"
#include "cli/command_context.h"
#include "cli/stderr_messages.h"
#include "control/program_session.h"
#include "control/real_backends.h"
#include "control/station_bus.h"
#include "image/gui_context.h"
#include "platform/encoding.h"
#include "platform/signal_mask.h"
#include "settings/program_folder_lock.h"

namespace velmarin::cli {
namespace {

// The period at which new errors are reported, as the window's timer looks at them.
constexpr long kTickNanoseconds = 100'000'000;

// For tests that must stop the program between a still's arrival and its transfer, or between
// its image's claim of its name and the journal's update (crash tests), or during the
// start-up's file work: with one of these variables naming a file, each still (or the file
// work) is held there until that file exists. Never set in use.
constexpr const char* kHoldVariable = "VELMARIN_TEST_HOLD_BEFORE_TRANSFER";
constexpr const char* kClaimHoldVariable = "VELMARIN_TEST_HOLD_AFTER_CLAIM";
constexpr const char* kStartUpHoldVariable = "VELMARIN_TEST_HOLD_START_UP_FILES";

void HoldUntilFileExists(const std::string& subject, std::string_view held, const char* variable,
                         const std::filesystem::path& file) {
  PrintMessageLine(subject,
                   std::string(held) + " until " + file.string() + " exists (" + variable + ")");
  std::error_code ec;
  while (!std::filesystem::exists(file, ec)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// What other programs ask of the headless station over the session bus: the session's own
// commands, each said on standard error as the start is.
class HeadlessCommands final : public StationCommands {
 public:
  HeadlessCommands(ProgramSession& session, StderrMessages& messages)
      : session_(session), messages_(messages) {}

  std::optional<Cp932Text> Start(const Cp932Text& id) override {
    PrintMessageLine("", "ID " + Cp932ToUtf8Replacing(id) + " given over the session bus");
    auto status = session_.StartWithId(id);
    if (status) messages_.ShowMessage(*status);
    return status;
  }
  void SetId(const Cp932Text& id) override {
    PrintMessageLine("", "ID " + Cp932ToUtf8Replacing(id) + " given over the session bus");
    session_.SetId(id);
  }
  Cp932Text Stop() override {
    PrintMessageLine("", "stopped over the session bus");
    Cp932Text status = session_.Stop();
    messages_.ShowMessage(status);
    return status;
  }

 private:
  ProgramSession& session_;
  StderrMessages& messages_;
};

}  // namespace

int RunHeadlessCommand(const Options& options) {
  auto capture_id = ParseCaptureId(options);
  if (!capture_id) return capture_id.exit_code();
  auto program_dir = ResolveProgramDir(options);
  if (!program_dir) return program_dir.exit_code();
  OwnMessage lock_error;
  const auto lock = ProgramFolderLock::Acquire(*program_dir, &lock_error);
  if (!lock) return Failed(lock_error.english);

  // The signals reach only the wait below.
  const sigset_t stop_signals = BlockStopSignals();

  // Only images are drawn: a display that is set but unreachable must not stop the run.
  EnsureGuiApplication(DisplayUse::kNever);
  StderrMessages messages;
  RealBackends real(messages);
  ProgramSession session(
      std::move(*program_dir), real.backends(),
      [](int count, const std::filesystem::path& target) {
        std::printf("%d\t%s\n", count, target.c_str());
        std::fflush(stdout);
      },
      PrintWatchingLine);
  if (const char* hold = std::getenv(kHoldVariable); hold && *hold) {
    session.SetBeforeTransfer([file = std::filesystem::path(hold)](const ArrivedStill& still) {
      HoldUntilFileExists(still.path.string(), "held before its transfer", kHoldVariable, file);
    });
  }
  if (const char* hold = std::getenv(kClaimHoldVariable); hold && *hold) {
    session.SetAfterClaim([file = std::filesystem::path(hold)](const ArrivedStill& still) {
      HoldUntilFileExists(still.path.string(), "held after its claim", kClaimHoldVariable, file);
    });
  }
  if (const char* hold = std::getenv(kStartUpHoldVariable); hold && *hold) {
    session.SetBeforeStartUpFiles([file = std::filesystem::path(hold)] {
      HoldUntilFileExists("", "the start-up's file work held", kStartUpHoldVariable, file);
    });
  }
  // Every error set from here on is new to the tick, the folder thread's first (an unusable
  // watch folder) included.
  session.StartUp();
  if (const auto status = session.StartWithId(std::move(*capture_id))) {
    messages.ShowMessage(*status);
  }
  // Other programs give the ID; nobody reads the title of a station without a window, so its
  // failures and waiting stills also go to the desktop. The calls are run at each tick.
  HeadlessCommands commands(session, messages);
  StationBus bus(session, commands, {.notify_desktop = true, .wake_owner = {}, .say = {}});
  bus.Start();

  const auto report_new_error = [&] {
    const TickChanges changes = session.Tick();
    for (const auto& [text, subject] : changes.earlier_errors) {
      if (!text.empty()) messages.ShowMessageAbout(subject, text);
    }
    if (changes.new_error && !changes.new_error->empty()) {
      messages.ShowMessageAbout(changes.new_error_subject, *changes.new_error);
    }
  };
  // One tick; true when a stop signal came.
  const auto wait_tick = [&] {
    const timespec tick{0, kTickNanoseconds};
    const int signal = sigtimedwait(&stop_signals, nullptr, &tick);
    bus.RunCommands();
    report_new_error();
    return signal == SIGINT || signal == SIGTERM;
  };
  while (!wait_tick()) {
  }

  // The start-up's file work and the stills that arrived are finished first; a second signal ends
  // the wait at once, leaving the image in hand in the watch folder for the next run. Calls over
  // the bus are refused from here on. A shutdown, not "監視停止": what is saved from now on is
  // taken at the next start.
  session.BeginShutDown();
  std::optional<std::filesystem::path> announced;
  bool abandoned = false;
  while (session.WorkersRunning()) {
    const auto image = session.CurrentImage();
    if (!abandoned && image && image != announced) {
      PrintMessageLine("", "finishing " + image->filename().string() +
                               " ... (Ctrl+C again stops at once; the image stays in the watch "
                               "folder)");
      announced = image;
    }
    if (wait_tick() && !abandoned) {
      session.AbandonFinishing();
      abandoned = true;
    }
  }
  // A second signal that left nothing unfinished (a service manager signals the process and
  // its group at once) is an ordinary stop.
  const auto left = session.LeftImage();
  if (left) PrintMessageLine(left->string(), "not finished; it stays in the watch folder");

  std::string error;
  const bool saved = session.ShutDown(&error);
  bus.Stop();
  // The image the folder thread was finishing when the signal came may have failed.
  report_new_error();
  if (!saved) return Failed(error);
  return left ? 1 : 0;
}

}  // namespace velmarin::cli
