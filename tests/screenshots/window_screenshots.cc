// Renders the program's windows to PNG files, so a reader can see them without a desktop:
// window_screenshots DIR writes DIR/main.png, DIR/menu-file.png, DIR/about.png,
// DIR/switch-event.png, DIR/naming.png, DIR/preview-640.png, DIR/preview-720.png,
// DIR/folder-browser.png, DIR/box.png (the note of a settings file saved in UTF-8),
// DIR/service.png (the box of a window started while the user service holds its folder),
// DIR/main-failed.png (a still given up) and DIR/closing.png (closed while a still is
// written). The windows run over the real session on the test doubles of the devices, in a
// temporary program folder.
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/about_box.h"
#include "app/chime.h"
#include "app/control_panel.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/naming_dialog.h"
#include "app/preview_dialog.h"
#include "app/qt_dialogs.h"
#include "app/switch_event_dialog.h"
#include "app/window_command.h"
#include "control/program_session.h"
#include "platform/inotify_folder_events.h"
#include "settings/settings_file.h"
#include "support/recording_input.h"
#include "support/scripted_serial_port.h"
#include "support/simulated_usb_io_board.h"
#include "support/temp_dir.h"
#include "transfer/image_transfer_pipeline.h"

namespace {

using namespace velmarin;

class SilentChime final : public app::Chime {
 public:
  void Play() override {}
  void PlayFailure() override {}
};

// The window's picture under a plain title bar with its title, as a desktop would frame it.
QImage Framed(QWidget& window) {
  const QPixmap client = window.grab();
  constexpr int kTitleHeight = 24;
  QImage image(client.width() + 2, client.height() + kTitleHeight + 1, QImage::Format_RGB32);
  image.fill(QColor(0x3C, 0x5A, 0x8C));
  QPainter painter(&image);
  painter.setPen(Qt::white);
  painter.drawText(QRect(8, 0, image.width() - 16, kTitleHeight), Qt::AlignVCenter,
                   window.windowTitle());
  painter.drawPixmap(1, kTitleHeight, client);
  return image;
}

bool Save(const QImage& image, const std::filesystem::path& path) {
  if (image.save(QString::fromStdString(path.string()))) return true;
  std::fprintf(stderr, "window_screenshots: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_screenshots DIR\n");
    return 2;
  }
  const std::filesystem::path out = argv[1];
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  app::InstallQtJapanese();

  test::TempDir dir;
  // A settings file an editor re-saved in UTF-8 (with a byte order mark): the window says so
  // once, in a note.
  test::WriteFileBytes(dir / kSettingsFileName, "\xEF\xBB\xBF");
  test::SimulatedHidTransport hid;
  test::ScriptedSerialOpener serial;
  test::RecordingInput input;
  ImageTransferPipeline pipeline;
  InotifyFolderEvents folder_events;
  app::MessageBoxes messages;
  SilentChime chime;
  std::atomic<bool> watching = false;
  ProgramSession session({dir.path(), Cp932Text(dir.path().string())},
                         SessionBackends{hid, serial, input, pipeline, messages, folder_events}, {},
                         [&watching](const std::filesystem::path&, bool) { watching = true; });
  app::MainWindow window(session, messages, chime,
                         app::PlacementStore(QString::fromStdString((dir / "p.conf").string())));
  window.ShowFirstTime();
  window.panel()->id_field()->setText(QStringLiteral("123456"));
  window.panel()->StartWithId();
  session.state().image_count = 3;
  window.Tick();
  QApplication::processEvents();
  bool ok = Save(Framed(window), out / "main.png");
  // A still given up: the status line names it in red until the next one goes through.
  window.panel()->ShowFailedStill(QStringLiteral("capture0012.bmp"));
  QApplication::processEvents();
  ok = Save(Framed(window), out / "main-failed.png") && ok;
  window.panel()->ClearFailedStill();

  // The File menu open below its title.
  QMenu* menu = window.file_menu();
  const QRect title = window.menuBar()->actionGeometry(menu->menuAction());
  menu->popup(window.menuBar()->mapToGlobal(title.bottomLeft()));
  QApplication::processEvents();
  QImage with_menu = Framed(window);
  const QPixmap menu_picture = menu->grab();
  const QImage grown =
      with_menu.copy(0, 0, std::max(with_menu.width(), title.left() + 1 + menu_picture.width()),
                     std::max(with_menu.height(),
                              24 + window.menuBar()->y() + title.bottom() + menu_picture.height()));
  QImage canvas(grown.size(), QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.drawImage(0, 0, with_menu);
  painter.drawPixmap(1 + title.left(), 24 + window.menuBar()->y() + title.bottom() + 1,
                     menu_picture);
  painter.end();
  menu->hide();
  ok = Save(canvas, out / "menu-file.png") && ok;

  // Each dialog shown, taken and hidden again.
  const auto take = [&](QWidget& dialog, const std::string& name) {
    dialog.show();
    QApplication::processEvents();
    ok = Save(Framed(dialog), out / name) && ok;
    dialog.hide();
  };
  app::AboutBox about(&window);
  take(about, "about.png");

  // The settings dialogs with the default settings, as the menu commands open them.
  app::SwitchEventDialog switch_event(
      SwitchEventFieldsFrom(session.state().settings()),
      {[&session] { return session.switch_devices().ListSwitchDevices(); }, [](int, int) {}},
      &window);
  take(switch_event, "switch-event.png");

  const Settings settings = session.state().settings();
  const app::PreviewSources sources{[&session] { return session.state().CaptureId(); },
                                    [] { return LocalTimeNow(); }};
  app::NamingDialog naming(
      NamingFieldsFrom(settings),
      {window.font_names().names(), settings[SettingSlot::TransferFolder], sources}, &window);
  take(naming, "naming.png");
  for (const int width : {640, 720}) {
    app::PreviewDialog preview(naming.PreviewFor(width), sources, &naming);
    take(preview, "preview-" + std::to_string(width) + ".png");
  }

  // The folder browser of "監視フォルダ設定", Qt's own, in the program folder.
  QFileDialog browser(
      &window, QStringLiteral("監視フォルダ %1").arg(QString::fromStdString(dir.path().string())));
  app::MakeFolderBrowser(browser);
  browser.setDirectory(QString::fromStdString(dir.path().string()));
  app::FitFileDialog(browser);
  take(browser, "folder-browser.png");

  // A box over the window: the note of the settings file saved in UTF-8, given at the start.
  QApplication::processEvents();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
      ok = Save(Framed(*box), out / "box.png") && ok;
      box->close();
    }
  }

  // The box of a window started from the menu while the user service runs on its folder.
  QMessageBox service(QMessageBox::Critical, QStringLiteral("Velmarin"),
                      app::FolderInUseNote({std::filesystem::path("/home/user/Velmarin"),
                                            Cp932Text("/home/user/Velmarin")},
                                           std::string(app::kUserServiceUnit), ""));
  take(service, "service.png");

  // Closed while the capture program still writes a still: the note over the form.
  while (!watching) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  std::ofstream still(dir / "capture0013.jpg", std::ios::binary);
  still << "the first half";
  still.flush();
  window.close();
  const auto note_shown = [&window] {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
      if (label->isVisible() && label->text().contains(QStringLiteral("capture0013.jpg"))) {
        return true;
      }
    }
    return false;
  };
  while (!note_shown()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  ok = Save(Framed(window), out / "closing.png") && ok;
  window.close();  // closed again: at once, the still left for the next run
  while (!window.shut_down()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return ok ? 0 : 1;
}
