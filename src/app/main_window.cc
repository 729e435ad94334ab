#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QWindow>

#include <string>

#include "app/about_box.h"
#include "app/accelerators.h"
#include "app/chime.h"
#include "app/control_panel.h"
#include "app/message_boxes.h"
#include "app/naming_dialog.h"
#include "app/once_notes.h"
#include "app/qt_dialogs.h"
#include "app/qt_text.h"
#include "app/switch_event_dialog.h"
#include "base/message_subject.h"
#include "control/program_session.h"
#include "platform/encoding.h"
#include "platform/font_enumeration.h"
#include "settings/settings_file.h"

namespace velmarin::app {
namespace {

constexpr int kTickMs = 100;
constexpr int kEventTestDelayMs = 2000;
// How often a closing window looks whether the worker threads have finished.
constexpr int kFinishPollMs = 20;

QString WarningTitle() { return QStringLiteral("Velmarin"); }

}  // namespace

DesktopDialogs DesktopDialogs::Real() {
  return {
      ChooseExistingFolder,
      ChooseFileToOpen,
      ChooseFileToSave,
      [](QDialog& dialog) { return dialog.exec(); },
  };
}

MainWindow::MainWindow(ProgramSession& session, MessageBoxes& messages, Chime& chime,
                       PlacementStore placement, DesktopDialogs dialogs)
    : session_(session),
      messages_(messages),
      chime_(chime),
      placement_store_(std::move(placement)),
      dialogs_(std::move(dialogs)) {
  // No maximize button; on top of the capture program from the first show on.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  setWindowTitle(QString::fromLatin1(kFirstTitle));
  restoreGeometry(placement_store_.Load());
  messages_.SetParentWindow(this);

  // The form sits in the middle of a window wide enough for the whole menu bar: Qt does not
  // wrap a menu bar onto a second line as Windows does, it would hide "Help(&H)".
  auto* form_area = new QWidget(this);
  auto* layout = new QHBoxLayout(form_area);
  layout->setContentsMargins(0, 0, 0, 0);
  panel_ = new ControlPanel(session_, form_area);
  layout->addWidget(panel_, 0, Qt::AlignCenter);
  setCentralWidget(form_area);
  BuildMenus();
  form_area->setMinimumWidth(menuBar()->sizeHint().width());
  panel_->on_started = [this] {
    RefreshTitle();
    raise();  // on top again, without taking the focus from the capture program
  };
  connect(&tick_, &QTimer::timeout, this, &MainWindow::Tick);
  qApp->installEventFilter(this);

  panel_->SetStatusText(session_.StartUp());
  if (session_.settings_encoding() == SettingsEncoding::kUtf8) GiveUtf8SettingsNote();
  InitialUpdate();
}

void MainWindow::GiveUtf8SettingsNote() {
  const QString file =
      QString::fromStdString((session_.state().program_dir().path / kSettingsFileName).string());
  if (!OnceNotes(placement_store_.file()).FirstTime(QStringLiteral("Utf8SettingsFile"), file)) {
    return;
  }
  messages_.ShowNote(QStringLiteral("設定ファイル %1 は UTF-8 で保存されています。このまま読み書き"
                                    "できます（変更した設定も UTF-8 で書き込みます）。\n"
                                    "このお知らせは一度だけ表示します。")
                         .arg(file));
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  messages_.Detach();
}

void MainWindow::BuildMenus() {
  file_menu_ = menuBar()->addMenu(QStringLiteral("File(&F)"));
  watch_folder_action_ = file_menu_->addAction(QStringLiteral("監視フォルダ設定"), this,
                                               [this] { ChooseFolder(SettingSlot::WatchFolder); });
  evacuation_action_ = file_menu_->addAction(QStringLiteral("監視フォルダ画像退避"), this,
                                             &MainWindow::ToggleEvacuation);
  evacuation_action_->setCheckable(true);
  file_menu_->addSeparator();
  transfer_folder_action_ = file_menu_->addAction(QStringLiteral("転送フォルダ設定"), this, [this] {
    ChooseFolder(SettingSlot::TransferFolder);
  });
  naming_action_ =
      file_menu_->addAction(QStringLiteral("命名・編集法設定"), this, &MainWindow::NamingSettings);
  file_menu_->addSeparator();
  exit_action_ = file_menu_->addAction(QStringLiteral("終了(&X)"), this, &QWidget::close);
  connect(file_menu_, &QMenu::aboutToShow, this, &MainWindow::UpdateEvacuationCheck);

  QMenu* option_menu = menuBar()->addMenu(QStringLiteral("Option(&O)"));
  switch_event_action_ = option_menu->addAction(QStringLiteral("スイッチ・イベント設定"), this,
                                                &MainWindow::SwitchEventSettings);
  event_test_action_ = option_menu->addAction(QStringLiteral("２秒後にイベント確認"), this,
                                              &MainWindow::FireEventInTwoSeconds);

  connect(menuBar()->addAction(QStringLiteral("Help(&H)")), &QAction::triggered, this,
          &MainWindow::ShowAbout);
  UpdateEvacuationCheck();
}

void MainWindow::ShowFirstTime() {
  show();  // maximized when the restored geometry says so
  setWindowTitle(QString::fromLatin1(kFirstTitle));
  raise();
  activateWindow();
}

void MainWindow::InitialUpdate() {
  panel_->TransferToControls();
  // Fit the form, shrinking only.
  resize(size().boundedTo(sizeHint()));
  font_names_.Collect(EnumerateFontFamilies());
  tick_.start(kTickMs);
  session_.state().last_error.Clear();
}

void MainWindow::Tick() {
  const TickChanges changes = session_.Tick();
  // A still given up sounds the desktop's error sound, never the chime of one that went out,
  // and the status line names it until a still goes through.
  if (changes.failed_still) {
    chime_.PlayFailure();
    panel_->ShowFailedStill(QString::fromStdString(changes.failed_still->filename().string()));
  } else if (changes.count_changed) {
    chime_.Play();
  }
  if (!changes.latest_still_failed) panel_->ClearFailedStill();
  if (changes.count_changed || changes.new_error || changes.error_cleared) RefreshTitle();
}

void MainWindow::RefreshTitle() {
  const Cp932Text error = session_.state().last_error.Shown();
  const QString title =
      error.size() > 1
          ? FromCp932(error)
          : QStringLiteral("%1-%2").arg(panel_->id_text()).arg(session_.state().image_count);
  if (title != windowTitle()) setWindowTitle(title);
}

void MainWindow::ChooseFolder(SettingSlot slot) {
  const bool watch = slot == SettingSlot::WatchFolder;
  const QString title =
      (watch ? QStringLiteral("監視フォルダ %1") : QStringLiteral("転送フォルダ %1"))
          .arg(FromCp932(session_.state().Slot(slot)));
  session_.BeginSettingsCommand(SettingsCommand::kFolder);
  const QString chosen = [&] {
    const ModalScope modal(*this);
    return dialogs_.choose_folder(this, title);
  }();
  if (!chosen.isEmpty() && !closing_) {
    const auto cp932 = Utf8ToCp932(chosen.toStdString());
    if (!cp932) {
      Warn(QStringLiteral("フォルダ名にシフトJIS（コードページ932）で書けない文字があります。"
                          "フォルダは変わりません:\n%1")
               .arg(chosen));
    } else if (cp932->size() > kSlotMaxBytes) {
      Warn(QStringLiteral("フォルダ名がシフトJISで%1バイトを超えています。フォルダは変わりません:"
                          "\n%2")
               .arg(kSlotMaxBytes)
               .arg(chosen));
    } else {
      session_.state().SetSlot(slot, *cp932);
    }
  }
  session_.EndSettingsCommand(SettingsCommand::kFolder);
  EndCommand(SettingsCommand::kFolder);
}

void MainWindow::Warn(const QString& text) {
  if (closing_) {
    PrintMessageLine("", text.toStdString());
    return;
  }
  const ModalScope modal(*this);
  QMessageBox::warning(this, WarningTitle(), text);
}

void MainWindow::EndCommand(SettingsCommand command) {
  if (command == SettingsCommand::kFolder) {
    // The pause before monitoring starts again is a timer: the window keeps answering.
    QTimer::singleShot(ProgramSession::kFolderCommandPause, this,
                       [this] { session_.ResumeMonitoring(); });
  }
  panel_->TransferToControls();
  RefreshTitle();
  // A close that came while the dialog was open goes on now that it has returned.
  if (closing_ && modal_depth_ == 0) QTimer::singleShot(0, this, &QWidget::close);
}

int MainWindow::RunDialog(QDialog& dialog) {
  const ModalScope modal(*this);
  const int result = dialogs_.run_dialog ? dialogs_.run_dialog(dialog) : dialog.exec();
  // Closed by a shutdown: whatever was on screen counts as Cancel.
  return closing_ ? int{QDialog::Rejected} : result;
}

void MainWindow::SwitchEventSettings() {
  session_.BeginSettingsCommand(SettingsCommand::kSwitch);
  SwitchEventDialog dialog(SwitchEventFieldsFrom(session_.state().settings()),
                           {[this] { return session_.switch_devices().ListSwitchDevices(); },
                            [this](int x, int y) { session_.MovePointerTo(x, y); }},
                           this);
  if (RunDialog(dialog) == QDialog::Accepted) {
    Settings settings = session_.state().settings();
    StoreSwitchEventFields(dialog.fields(), settings);
    session_.state().SetSettings(std::move(settings));
  }
  panel_->SetStatusText(session_.EndSettingsCommand(SettingsCommand::kSwitch));
  EndCommand(SettingsCommand::kSwitch);
}

void MainWindow::NamingSettings() {
  // The preview shows the ID as it is typed now; the field itself is left as it is.
  const auto id = panel_->ReadIdText();
  if (!id) return;
  session_.state().SetCaptureId(*id);
  session_.BeginSettingsCommand(SettingsCommand::kFolder);
  const Settings current = session_.state().settings();
  NamingDialog dialog(
      NamingFieldsFrom(current),
      {font_names_.names(),
       // Where the transfer itself looks: a relative folder is in the program
       // folder, not in the current one.
       FolderInProgramDir(session_.state().program_dir(), current[SettingSlot::TransferFolder]),
       PreviewSources{[this] { return session_.state().CaptureId(); },
                      [] { return LocalTimeNow(); }},
       &replacing_note_given_},
      this);
  if (RunDialog(dialog) == QDialog::Accepted) {
    Settings settings = session_.state().settings();
    StoreNamingFields(dialog.fields(), settings);
    session_.state().SetSettings(std::move(settings));
  }
  session_.EndSettingsCommand(SettingsCommand::kFolder);
  EndCommand(SettingsCommand::kFolder);
}

bool MainWindow::EvacuationOn() const {
  return EvacuationAsked(session_.state().Slot(SettingSlot::EvacuateAtStartup));
}

void MainWindow::ToggleEvacuation() {
  session_.state().SetSlot(SettingSlot::EvacuateAtStartup, Cp932Text(EvacuationOn() ? "0" : "1"));
  session_.SaveConfirmedChanges();
  UpdateEvacuationCheck();
}

void MainWindow::UpdateEvacuationCheck() {
  // The check mark stands while evacuation is on, as the help text says.
  evacuation_action_->setChecked(EvacuationOn());
}

void MainWindow::FireEventInTwoSeconds() {
  // A timer rather than a sleep: the window keeps answering during the two seconds, in which
  // the input devices settle.
  session_.PrepareInput();
  QTimer::singleShot(kEventTestDelayMs, Qt::PreciseTimer, this, [this] {
    if (!closing_) session_.FireCaptureEventNow();
  });
}

void MainWindow::ShowAbout() {
  AboutBox about(this);
  const ModalScope modal(*this);
  about.exec();
  if (closing_ && modal_depth_ == 0) QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::OpenDocument() {
  // The document holds no data: the chosen file is not read.
  if (dialogs_.choose_file_to_open(this).isEmpty()) return;
  InitialUpdate();
  RefreshTitle();
}

void MainWindow::SaveDocument() {
  const QString path = dialogs_.choose_file_to_save(this);
  if (path.isEmpty()) return;
  // The document holds no data: a new file is made empty, and a file that exists is never
  // emptied.
  QFile file(path);
  if (file.exists()) return;
  if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
    Warn(QStringLiteral("%1 を作成できませんでした: %2").arg(path, file.errorString()));
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Expose && watched == windowHandle()) {
    // The window system shows the window anew (back from the task bar, shown again): the view
    // is repainted whole, and every such repaint after the first one sets the title. Qt also
    // repaints within a shown window (several exposures as it is mapped, a caret's blink),
    // far more often than a Windows view is drawn; those leave the title alone, and the
    // program's own redraws refresh it where they happen.
    const bool exposed = windowHandle()->isExposed();
    if (exposed && !exposed_) {
      if (shown_before_) RefreshTitle();
      shown_before_ = true;
      messages_.WindowExposed();
    }
    exposed_ = exposed;
    return false;
  }
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
    return false;
  }
  auto* widget = qobject_cast<QWidget*>(watched);
  // The accelerators belong to this window's form; menus and dialogs have their own keys.
  if (widget == nullptr || widget->window() != this || qobject_cast<QMenuBar*>(widget)) {
    return false;
  }
  const auto* key = static_cast<QKeyEvent*>(event);
  const Accelerator accelerator = AcceleratorFor(key->key(), key->modifiers());
  if (accelerator == Accelerator::kNone) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    // Claimed for the key press, which is eaten below before the control sees it.
    event->accept();
    return true;
  }
  switch (accelerator) {
    case Accelerator::kStart:
      // Closing is final: Enter (a foot switch's key, a barcode reader's end) starts nothing.
      if (!closing_) panel_->StartWithId();
      break;
    case Accelerator::kNewDocument:
      InitialUpdate();
      RefreshTitle();
      break;
    case Accelerator::kOpenDocument:
      OpenDocument();
      break;
    case Accelerator::kSaveDocument:
      SaveDocument();
      break;
    case Accelerator::kConsumed:
    case Accelerator::kNone:
      break;
  }
  return true;
}

QByteArray MainWindow::CurrentPlacement() const { return saveGeometry(); }

void MainWindow::closeEvent(QCloseEvent* event) {
  if (shutdown_ == Shutdown::kDone) {
    event->accept();
    return;
  }
  event->ignore();
  if (!closing_) {
    closing_ = true;
    // Messages raised from now on go to stderr, not to a window that is closing.
    messages_.Detach();
    placement_store_.Save(CurrentPlacement());
    session_.BeginShutDown();
    centralWidget()->setEnabled(false);
    menuBar()->setEnabled(false);
  }
  if (modal_depth_ > 0) {
    // A dialog or folder browser is open: it closes first, as Cancel; its command ends, then
    // the close comes again.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
        dialog->reject();
      }
    }
    return;
  }
  if (shutdown_ == Shutdown::kRunning) {
    shutdown_ = Shutdown::kFinishing;
    if (FinishShutDown()) event->accept();
  } else if (shutdown_ == Shutdown::kFinishing) {
    // Closed again while a still is finished: the wait ends at once, the still stays in the
    // watch folder for the next run, and the shutdown completes when the threads have ended.
    session_.AbandonFinishing();
  }
}

void MainWindow::ShowFinishingNote(const std::filesystem::path& image) {
  const std::string name = image.filename().string();
  // On stderr too: a logout may have hidden the window already.
  PrintMessageLine("", "finishing " + name + " …");
  if (finishing_note_ == nullptr) {
    // Over the disabled form, in the window itself so it is not greyed out; the status line
    // is too narrow for it.
    finishing_note_ = new QLabel(this);
    finishing_note_->setWordWrap(true);
    finishing_note_->setAlignment(Qt::AlignCenter);
    finishing_note_->setAutoFillBackground(true);
    finishing_note_->setGeometry(centralWidget()->geometry());
  }
  finishing_note_->setText(
      QStringLiteral("%1 の転送を終えてから終了します…\n\nもう一度閉じるとすぐに終了します"
                     "（画像は監視フォルダに残ります）。")
          .arg(QString::fromStdString(name)));
  finishing_note_->show();
  finishing_note_->raise();
}

bool MainWindow::FinishShutDown() {
  // The folder thread finishes the stills that arrived; the window keeps painting meanwhile.
  if (session_.WorkersRunning()) {
    if (const auto image = session_.CurrentImage(); image && image != finishing_announced_) {
      ShowFinishingNote(*image);
      finishing_announced_ = image;
    }
    QTimer::singleShot(kFinishPollMs, this, [this] {
      if (FinishShutDown()) close();
    });
    return false;
  }
  tick_.stop();
  std::string error;
  if (!session_.ShutDown(&error)) {
    shut_down_cleanly_ = false;
    PrintMessageLine("", "the settings could not be saved: " + error);
  }
  shutdown_ = Shutdown::kDone;
  return true;
}

}  // namespace velmarin::app
