#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>

#include "app/window_placement.h"
#include "control/font_names.h"
#include "control/program_session.h"
#include "settings/settings.h"

class QAction;
class QDialog;
class QLabel;
class QMenu;

namespace velmarin {
class ProgramSession;
}

namespace velmarin::app {

class Chime;
class ControlPanel;
class MessageBoxes;

// The dialogs the window asks the desktop for; tests put their own answers in. An empty
// string means cancelled.
struct DesktopDialogs {
  std::function<QString(QWidget* parent, const QString& title)> choose_folder;
  std::function<QString(QWidget* parent)> choose_file_to_open;
  std::function<QString(QWidget* parent)> choose_file_to_save;  // asks before overwriting
  // Runs a settings dialog modally; returns its result (QDialog::Accepted or Rejected).
  std::function<int(QDialog& dialog)> run_dialog;

  static DesktopDialogs Real();
};

// The main window: menu bar, accelerators, the control panel, the 100 ms tick with the
// chime, the title, the top-most state and the placement. Constructing it runs the start-up
// of the session (settings, evacuation, switch device) and the initial update; closing it
// saves the placement, then shuts the session down (threads joined, settings saved).
class MainWindow : public QMainWindow {
 public:
  static constexpr const char* kFirstTitle = "Velmarin V4.0";

  MainWindow(ProgramSession& session, MessageBoxes& messages, Chime& chime,
             PlacementStore placement, DesktopDialogs dialogs = DesktopDialogs::Real());
  ~MainWindow() override;

  // Shows the window as the saved placement says (maximized or normal), on top and active.
  void ShowFirstTime();

  // The view's initial update: the controls show the texts, the window shrinks to fit the
  // form, the font names are collected, the tick starts and the last error is emptied. Runs
  // at start-up and again after Ctrl+N and Ctrl+O.
  void InitialUpdate();
  // The installed fonts' names for the naming dialog, collected by the initial update.
  const FontNameList& font_names() const { return font_names_; }

  // The 100 ms tick: a changed count sounds the chime and redraws the title.
  void Tick();
  // The title after the first one: "<ID>-<count>", or the last error when it is longer than
  // one byte.
  void RefreshTitle();

  // Menu commands.
  void ChooseFolder(SettingSlot slot);
  // "スイッチ・イベント設定" and "命名・編集法設定": each runs its dialog between the stop and the
  // restart of monitoring and stores the fields on OK.
  void SwitchEventSettings();
  void NamingSettings();
  void ToggleEvacuation();
  void FireEventInTwoSeconds();
  void ShowAbout();
  void OpenDocument();
  void SaveDocument();

  ControlPanel* panel() const { return panel_; }
  QMenu* file_menu() const { return file_menu_; }
  QAction* watch_folder_action() const { return watch_folder_action_; }
  QAction* evacuation_action() const { return evacuation_action_; }
  QAction* transfer_folder_action() const { return transfer_folder_action_; }
  // The settings dialogs' commands.
  QAction* naming_action() const { return naming_action_; }
  QAction* switch_event_action() const { return switch_event_action_; }
  QAction* event_test_action() const { return event_test_action_; }
  QAction* exit_action() const { return exit_action_; }
  // False when the settings could not be saved at shutdown.
  bool shut_down_cleanly() const { return shut_down_cleanly_; }
  // Whether the shutdown has ended (the close is accepted from then on).
  bool shut_down() const { return shutdown_ == Shutdown::kDone; }
  QByteArray CurrentPlacement() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Counts the dialogs and folder browsers on screen, which a close rejects first.
  struct ModalScope {
    explicit ModalScope(MainWindow& window) : window_(window) { ++window_.modal_depth_; }
    ~ModalScope() { --window_.modal_depth_; }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    MainWindow& window_;
  };
  enum class Shutdown { kRunning, kFinishing, kDone };

  void BuildMenus();
  // Once for each settings file found in UTF-8: it works as it is.
  void GiveUtf8SettingsNote();
  // After a settings command: the restart pause, the controls, the title, a pending close.
  void EndCommand(SettingsCommand command);
  // A refusal in a box, or on stderr once the window is closing.
  void Warn(const QString& text);
  // The second half of the close, once the worker threads have finished; false (and looks
  // again soon) while they run.
  bool FinishShutDown();
  // Says which image the shutdown waits for, and that closing again stops at once.
  void ShowFinishingNote(const std::filesystem::path& image);
  void UpdateEvacuationCheck();
  bool EvacuationOn() const;
  int RunDialog(QDialog& dialog);

  ProgramSession& session_;
  MessageBoxes& messages_;
  Chime& chime_;
  const PlacementStore placement_store_;
  const DesktopDialogs dialogs_;
  FontNameList font_names_;
  ControlPanel* panel_;
  QTimer tick_;
  QMenu* file_menu_ = nullptr;
  QAction* watch_folder_action_ = nullptr;
  QAction* evacuation_action_ = nullptr;
  QAction* transfer_folder_action_ = nullptr;
  QAction* naming_action_ = nullptr;
  QAction* switch_event_action_ = nullptr;
  QAction* event_test_action_ = nullptr;
  QAction* exit_action_ = nullptr;
  bool exposed_ = false;       // the window system shows the window now
  bool shown_before_ = false;  // it did before: showing it again sets the title
  bool closing_ = false;       // a close came: nothing starts again, boxes go to stderr
  Shutdown shutdown_ = Shutdown::kRunning;
  QLabel* finishing_note_ = nullptr;
  std::optional<std::filesystem::path> finishing_announced_;  // the image the note names
  int modal_depth_ = 0;
  bool replacing_note_given_ = false;  // the naming dialog's note on "$r", once a run
  bool shut_down_cleanly_ = true;
};

}  // namespace velmarin::app
