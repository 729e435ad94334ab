#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/chime.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "control/program_session.h"
#include "platform/inotify_folder_events.h"
#include "settings/settings.h"
#include "support/program_process.h"
#include "support/recording_input.h"
#include "support/scripted_serial_port.h"
#include "support/simulated_usb_io_board.h"
#include "support/temp_dir.h"
#include "transfer/image_transfer_pipeline.h"

namespace velmarin::test {

class RecordingChime final : public app::Chime {
 public:
  void Play() override { ++plays; }
  void PlayFailure() override { ++failure_plays; }
  int plays = 0;
  int failure_plays = 0;
};

// The real window over the real session, on the test doubles of the devices, in a fresh
// program folder; the placement goes to a file of its own.
class WindowTest : public ::testing::Test {
 protected:
  ~WindowTest() override;

  app::MainWindow& Window();
  // Closes the window and waits for the end of its shutdown, then forgets it and its session
  // unless `keep`.
  void CloseWindow(bool keep = false);
  // Whether monitoring runs again (after a folder command's pause) within five seconds.
  bool MonitoringResumes();
  // Whether the folder thread has looked at the watch folder within five seconds: the stills
  // present then are left alone, every later one is taken.
  bool WatchFolderLookedAt();
  // The text of every message box open now, closing them.
  std::vector<QString> TakeMessageBoxes();

  TempDir dir_;
  ProgramDir program_dir_{dir_.path(), Cp932Text(dir_.path().string())};
  SimulatedHidTransport hid_;
  ScriptedSerialOpener serial_;
  RecordingInput input_;
  ImageTransferPipeline pipeline_;
  InotifyFolderEvents folder_events_;
  app::MessageBoxes messages_;
  RecordingChime chime_;
  QString placement_file_ = QString::fromStdString((dir_ / "placement.conf").string());
  app::DesktopDialogs dialogs_{
      [this](QWidget*, const QString& title) {
        folder_titles_.push_back(title);
        return next_folder_;
      },
      [this](QWidget*) { return next_file_; },
      [this](QWidget*) { return next_file_; },
      [this](QDialog& dialog) {
        return run_dialog_ ? run_dialog_(dialog) : int{QDialog::Rejected};
      },
  };
  // What the user does in the next settings dialog; returns the dialog's result.
  std::function<int(QDialog&)> run_dialog_;
  QString next_folder_;
  QString next_file_;
  std::vector<QString> folder_titles_;
  std::atomic<int> watch_folder_looks_{0};
  std::unique_ptr<ProgramSession> session_;
  std::unique_ptr<app::MainWindow> window_;
};

std::string Utf8(const std::string& cp932);
std::string Cp932(const std::string& utf8);

}  // namespace velmarin::test
