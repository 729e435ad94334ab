#include "app/window_command.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/chime.h"
#include "app/control_panel.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/qt_dialogs.h"
#include "app/qt_text.h"
#include "app/stop_signals.h"
#include "app/window_station.h"
#include "base/message_subject.h"
#include "cli/command_context.h"
#include "cli/station_command.h"
#include "control/program_session.h"
#include "control/real_backends.h"
#include "platform/data_files.h"
#include "platform/process_unit.h"
#include "settings/program_folder_lock.h"

namespace velmarin::app {
namespace {

// The window runs on X11, whatever QT_QPA_PLATFORM says (a Wayland session sets "wayland",
// which this window cannot use: it must stay on top of the capture program and synthesize
// input). Only the platforms that need no display, "offscreen" and "minimal", are kept, for
// tests and screenshots. False, after saying why, when no X display can be reached.
bool PrepareDisplay() {
  if (const char* platform = std::getenv("QT_QPA_PLATFORM");
      platform &&
      (std::string_view(platform) == "offscreen" || std::string_view(platform) == "minimal")) {
    return true;
  }
  const char* name = std::getenv("DISPLAY");
  Display* display = (name && *name) ? XOpenDisplay(nullptr) : nullptr;
  if (display == nullptr) {
    PrintMessageLine("", std::string("no X display can be reached (DISPLAY=") +
                             ((name && *name) ? name : "unset") +
                             "). The window needs an X11 or XWayland display; 'velmarin "
                             "--headless' monitors without one.");
    return false;
  }
  XCloseDisplay(display);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  return true;
}

// Said when the X display goes away, whether Qt or Xlib notices first.
constexpr std::string_view kDisplayLost =
    "the connection to the X display was lost; the window ends (the settings are saved)";

// Qt ends the process on a fatal error (a platform plugin that cannot load) with a core dump,
// and on a broken X connection with a bare exit: both become one clear line and status 1.
// The settings confirmed so far are already on disk.
void ReportQtMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtFatalMsg) {
    PrintMessageLine("", "the window cannot start: " + text.toStdString());
    std::_Exit(1);
  }
  if (text.contains(QStringLiteral("X11 connection broke"))) {
    PrintMessageLine("", kDisplayLost);
    return;
  }
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// Xlib's own default for a lost connection ends the process with its own words.
int ReportLostDisplay(Display*) {
  PrintMessageLine("", kDisplayLost);
  std::_Exit(1);
}

}  // namespace

QString FolderInUseNote(const ProgramDir& program_dir,
                        const std::optional<std::string>& holder_unit,
                        const std::string& lock_error) {
  if (holder_unit == kUserServiceUnit) {
    return QStringLiteral(
               "Velmarin はこのフォルダ（%1）でサービスとして動いています。"
               "ウィンドウで使うには、先に端末でサービスを止めてください:\n\n"
               "systemctl --user stop velmarin\n\n"
               "サービスのままIDを渡すには: velmarin --id ID")
        .arg(QString::fromStdString(program_dir.path.string()));
  }
  return QString::fromStdString(lock_error);
}

int RunWindowCommand(const cli::Options& options) {
  // --id fills the ID field; monitoring starts when the user presses Enter.
  const auto capture_id = cli::ParseCaptureId(options);
  if (!capture_id) return capture_id.exit_code();
  auto program_dir = cli::ResolveProgramDir(options);
  if (!program_dir) return program_dir.exit_code();
  // A station that runs already takes the ID itself.
  if (options.id) {
    if (const auto handed = cli::HandIdToRunningStation(options, *program_dir)) return *handed;
  }
  if (!PrepareDisplay()) return 1;
  qInstallMessageHandler(ReportQtMessage);
  XSetIOErrorHandler(ReportLostDisplay);

  StopSignals stop_signals;  // before Qt or the session start any thread
  static int argc = 1;
  static char name[] = "velmarin";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  // The id of the menu entry: the desktop finds the window's entry and icon through it.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.velmarin.Velmarin"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.velmarin.Velmarin")));
  InstallQtJapanese();
  OwnMessage lock_error;
  const auto lock = ProgramFolderLock::Acquire(*program_dir, &lock_error);
  if (!lock) {
    // Started from the desktop's menu nobody reads stderr: say it in a box too.
    PrintMessageLine("", lock_error.english);
    const auto holder = ProgramFolderLock::Holder(*program_dir);
    QMessageBox::critical(
        nullptr, QStringLiteral("Velmarin"),
        FolderInUseNote(*program_dir, holder ? UserUnitOfProcess(*holder) : std::nullopt,
                        lock_error.japanese));
    return 1;
  }

  MessageBoxes messages;
  RealBackends real(messages);
  ProgramSession session(std::move(*program_dir), real.backends(), {}, cli::PrintWatchingLine);
  const auto chime = MakeDesktopChime(FindDataFile("chimes.wav"));
  MainWindow window(session, messages, *chime, PlacementStore());
  if (options.id) window.panel()->SetIdText(FromCp932(*capture_id));
  WindowStation station(window, session);
  station.Connect();
  stop_signals.Connect([&window] { window.close(); });
  window.ShowFirstTime();
  application.exec();
  return window.shut_down_cleanly() ? 0 : 1;
}

}  // namespace velmarin::app
