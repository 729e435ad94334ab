#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/control_panel.h"
#include "app/message_box_catcher.h"
#include "base/message_subject.h"
#include "settings/settings_file.h"
#include "support/cp932_text_testing.h"
#include "support/pictures.h"
#include "window_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using app::ControlPanel;

TEST_F(WindowTest, TitleFollowsTheIdTheCountAndTheLastErrorWithOneChimePerChange) {
  EXPECT_EQ(Window().windowTitle(), "Velmarin V4.0");
  EXPECT_TRUE(Window().windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(Window().windowFlags() & Qt::WindowMaximizeButtonHint);

  Window().panel()->id_field()->setText("123456");
  Window().panel()->StartWithId();
  EXPECT_EQ(Window().windowTitle(), "123456-0");
  // The folder thread sets the count to 0 as it starts: let it, before counting here.
  session_->controller().StopAndJoin();

  session_->state().image_count = 2;  // two images within one tick: one chime
  Window().Tick();
  EXPECT_EQ(Window().windowTitle(), "123456-2");
  EXPECT_EQ(chime_.plays, 1);
  Window().Tick();
  EXPECT_EQ(chime_.plays, 1);

  session_->state().last_error.Set(Cp932Text("Error: JPEG File"));
  Window().Tick();
  EXPECT_EQ(Window().windowTitle(), "Error: JPEG File");
  session_->state().last_error.Set(Cp932Text("x"));  // one byte is not shown
  Window().Tick();
  EXPECT_EQ(Window().windowTitle(), "123456-2");

  // A new start resets the count without a chime.
  session_->state().image_count = 5;
  Window().panel()->StartWithId();
  Window().Tick();
  EXPECT_EQ(chime_.plays, 1);
  EXPECT_EQ(Window().windowTitle(), "123456-0");
}

// A still given up sounds the desktop's error sound, not the chime, is not counted, and the
// status line names it in red until a still goes through; its error leaves the title then.
TEST_F(WindowTest, FailedStillSoundsTheErrorSoundAndIsNamedInRedUntilAGoodOne) {
  Window().panel()->id_field()->setText("55");
  Window().panel()->StartWithId();
  ASSERT_TRUE(WatchFolderLookedAt());
  WriteFileBytes(dir_ / "capture.tmp", "not a picture");
  fs::rename(dir_ / "capture.tmp", dir_ / "broken.bmp");
  ASSERT_TRUE(QTest::qWaitFor([&] { return chime_.failure_plays == 1; }, 10000));
  QLabel* status = Window().panel()->status_line();
  EXPECT_EQ(status->text(), "失敗: broken.bmp");
  EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(0xD0, 0, 0));
  EXPECT_EQ(chime_.plays, 0);
  EXPECT_EQ(Window().windowTitle(), "BMP file read error! ");
  EXPECT_EQ(session_->state().image_count, 0);

  WriteFileBytes(dir_ / "capture.tmp", JpegBytes(64, 48, 1));
  fs::rename(dir_ / "capture.tmp", dir_ / "good.jpg");
  ASSERT_TRUE(QTest::qWaitFor([&] { return chime_.plays == 1; }, 10000));
  EXPECT_EQ(Window().windowTitle(), "55-1");
  EXPECT_EQ(status->text(), "スイッチ未接続 監視中");
  EXPECT_EQ(status->palette().color(QPalette::WindowText),
            Window().panel()->palette().color(QPalette::WindowText));
  EXPECT_EQ(chime_.failure_plays, 1);
}

TEST_F(WindowTest, EnterStartsFromAnyControlAndNeverPressesAFocusedButton) {
  ControlPanel* panel = Window().panel();
  panel->digit_button(7)->setFocus();
  QTest::keyClick(panel->digit_button(7), Qt::Key_Return);
  EXPECT_TRUE(session_->state().monitoring_active);
  EXPECT_EQ(panel->id_text(), "0");  // "7" was not pressed

  panel->stop_button()->setFocus();
  QTest::keyClick(panel->stop_button(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(session_->state().monitoring_active);  // not stopped: started again

  QTest::keyClicks(panel->id_field(), "42");
  QTest::keyClick(panel->id_field(), Qt::Key_Return);
  EXPECT_EQ(session_->state().CaptureId(), "042");
  // The space bar presses the focused button.
  panel->stop_button()->setFocus();
  QTest::keyClick(panel->stop_button(), Qt::Key_Space);
  EXPECT_FALSE(session_->state().monitoring_active);
}

TEST_F(WindowTest, ClipboardUndoAndPaneKeysNeverReachTheIdField) {
  QLineEdit* field = Window().panel()->id_field();
  QApplication::clipboard()->setText("99");
  field->setFocus();
  QTest::keyClicks(field, "12");
  field->selectAll();
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  } keys[] = {{Qt::Key_C, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ControlModifier},
              {Qt::Key_X, Qt::ControlModifier}, {Qt::Key_Delete, Qt::ShiftModifier},
              {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_Insert, Qt::ShiftModifier},
              {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Backspace, Qt::AltModifier},
              {Qt::Key_F6, Qt::NoModifier},     {Qt::Key_F6, Qt::ShiftModifier}};
  for (const auto& k : keys) QTest::keyClick(field, k.key, k.modifiers);
  EXPECT_EQ(field->text(), "12");
  EXPECT_EQ(QApplication::clipboard()->text(), "99");
  // Keys outside the table still reach it.
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_EQ(field->text(), "");
}

TEST_F(WindowTest, DocumentKeysRerunTheInitialUpdateAndSaveNeverEmptiesAFile) {
  Window();
  session_->state().last_error.Set(Cp932Text("Error: old"));
  QTest::keyClick(Window().panel()->id_field(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(session_->state().last_error.Get(), "");

  next_file_ = "";  // a cancelled open dialog changes nothing
  session_->state().last_error.Set(Cp932Text("Error: old"));
  QTest::keyClick(Window().panel()->id_field(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(session_->state().last_error.Get(), "Error: old");
  next_file_ = QString::fromStdString((dir_ / "velmarin.ini").string());
  QTest::keyClick(Window().panel()->id_field(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(session_->state().last_error.Get(), "");

  // Save makes a new file empty and never empties one that exists.
  WriteFileBytes(dir_ / "document.dat", "old contents");
  next_file_ = QString::fromStdString((dir_ / "document.dat").string());
  QTest::keyClick(Window().panel()->id_field(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(ReadFileBytes(dir_ / "document.dat"), "old contents");
  next_file_ = QString::fromStdString((dir_ / "new.dat").string());
  QTest::keyClick(Window().panel()->id_field(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(fs::exists(dir_ / "new.dat"));
  EXPECT_EQ(ReadFileBytes(dir_ / "new.dat"), "");
}

// The title is the view's: a cancelled dialog and Ctrl+N redraw it from the ID, the count and
// the last error as they are now.
TEST_F(WindowTest, TitleIsRedrawnAfterADialogAndAfterCtrlN) {
  EXPECT_EQ(Window().windowTitle(), "Velmarin V4.0");
  run_dialog_ = [](QDialog&) { return int{QDialog::Rejected}; };
  Window().naming_action()->trigger();
  EXPECT_EQ(Window().windowTitle(), "-0");

  session_->state().last_error.Set(Cp932Text("Error: old"));
  Window().Tick();
  EXPECT_EQ(Window().windowTitle(), "Error: old");
  QTest::keyClick(Window().panel()->id_field(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(Window().windowTitle(), "-0");
}

// The window system shows the window again (a window that covered it went away): the view is
// repainted, and with it the title.
TEST_F(WindowTest, TitleIsRedrawnWhenTheWindowIsShownAgain) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
  EXPECT_EQ(Window().windowTitle(), "Velmarin V4.0");
  session_->state().last_error.Set(Cp932Text("Error: painted"));
  Window().hide();
  Window().show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Window().windowTitle() == "Error: painted"; }));
}

TEST_F(WindowTest, EvacuationItemIsCheckedWhileOnAndEachToggleIsSavedAtOnce) {
  Window().file_menu()->aboutToShow();
  EXPECT_FALSE(Window().evacuation_action()->isChecked());
  OwnMessage warning;
  for (const char* stored : {"1", "0", "1"}) {
    Window().evacuation_action()->trigger();
    EXPECT_EQ(session_->state().Slot(SettingSlot::EvacuateAtStartup), stored);
    EXPECT_EQ(Window().evacuation_action()->isChecked(), std::string(stored) == "1");
    EXPECT_EQ(LoadSettings(program_dir_, &warning)[SettingSlot::EvacuateAtStartup], stored);
  }
}

TEST_F(WindowTest, WorkerMessagesBecomeBoxesWithoutTheWorkerWaiting) {
  Window();
  // The worker hands its message over and ends while the user-interface thread is busy here:
  // had it waited for the box, the join would never return.
  std::thread worker([this] {
    messages_.ShowMessage(Cp932Text(Cp932("USB-IO: 読み込みエラー")));
    // A failure of one still names it.
    const ScopedMessageSubject still("/watch/写真1.jpg");
    messages_.ShowMessage(Cp932Text("JPEG read error! "));
  });
  worker.join();
  std::vector<QString> boxes = TakeMessageBoxes();
  std::sort(boxes.begin(), boxes.end());
  EXPECT_EQ(boxes, (std::vector<QString>{QString::fromUtf8("JPEG read error! \n\n/watch/写真1.jpg"),
                                         QString::fromUtf8("USB-IO: 読み込みエラー")}));
}

TEST_F(WindowTest, SettingsThatCannotBeSavedAreReportedAndTheFileIsLeftAlone) {
  Window();
  fs::remove(dir_ / "velmarin.ini");
  fs::create_directory(dir_ / "velmarin.ini");  // nothing can be written in its place
  Window().evacuation_action()->trigger();      // a change, saved at once: a box says it failed
  Window().evacuation_action()->trigger();
  Window().evacuation_action()->trigger();  // the same failure again is not said again
  const std::vector<QString> boxes = TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].startsWith("設定ファイル " + QString::fromStdString(dir_.path().string()) +
                                  "/velmarin.ini を読めません"))
      << boxes[0].toStdString();
  // At exit the same failure goes to stderr, as the window is closing; no box.
  CloseWindow(/*keep=*/true);
  EXPECT_TRUE(TakeMessageBoxes().empty());
  EXPECT_FALSE(Window().shut_down_cleanly());
  EXPECT_TRUE(fs::is_directory(dir_ / "velmarin.ini"));
}

// A settings file an editor re-saved in UTF-8 works as it is: the window says so once, in
// Japanese, and never again at a later start.
TEST_F(WindowTest, Utf8SettingsFileIsNotedOnceAndRead) {
  WriteFileBytes(dir_ / "velmarin.ini", "転送画像のJpg画質(1-100):80\r\n");
  Window();
  EXPECT_EQ(session_->state().Slot(SettingSlot::JpegQuality), "80");
  const std::vector<QString> boxes = TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].contains("velmarin.ini は UTF-8 で保存されています"))
      << boxes[0].toStdString();
  CloseWindow();
  Window();
  EXPECT_TRUE(TakeMessageBoxes().empty());
}

TEST_F(WindowTest, FolderCommandsStoreTheChoiceAndLeaveMonitoringOn) {
  const fs::path folder = dir_ / "capture";
  fs::create_directory(folder);
  Window();
  const std::string old_watch = session_->state().Slot(SettingSlot::WatchFolder).bytes();

  next_folder_ = QString::fromStdString(folder.string());
  Window().watch_folder_action()->trigger();
  EXPECT_EQ(folder_titles_.back().toStdString(), "監視フォルダ " + Utf8(old_watch));
  EXPECT_EQ(session_->state().Slot(SettingSlot::WatchFolder), folder.string());
  EXPECT_TRUE(MonitoringResumes());

  // Cancelled: the slot stays, monitoring is on all the same.
  Window().panel()->Stop();
  const std::string old_transfer = session_->state().Slot(SettingSlot::TransferFolder).bytes();
  next_folder_ = "";
  Window().transfer_folder_action()->trigger();
  EXPECT_EQ(folder_titles_.back().toStdString(), "転送フォルダ " + Utf8(old_transfer));
  EXPECT_EQ(session_->state().Slot(SettingSlot::TransferFolder), old_transfer);
  EXPECT_TRUE(MonitoringResumes());

  // Names code page 932 cannot hold, or that do not fit a slot, are refused.
  app::MessageBoxCatcher boxes;
  for (const QString& refused :
       {QString::fromUtf8("/tmp/caf\u00e9"), "/" + QString(499, QLatin1Char('d'))}) {
    next_folder_ = refused;
    Window().transfer_folder_action()->trigger();
    EXPECT_EQ(session_->state().Slot(SettingSlot::TransferFolder), old_transfer);
    EXPECT_TRUE(MonitoringResumes());
  }
  EXPECT_EQ(boxes.texts().size(), 2);
}

TEST_F(WindowTest, ARestartAfterImagesSoundsTheChimeForTheFallToZero) {
  Window().panel()->StartWithId();
  session_->state().image_count = 3;
  Window().Tick();
  EXPECT_EQ(chime_.plays, 1);
  next_folder_ = "";
  Window().watch_folder_action()->trigger();
  // The new folder thread counts from 0 again.
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_->state().image_count == 0; }, 5000));
  Window().Tick();
  EXPECT_EQ(chime_.plays, 2);
  EXPECT_EQ(Window().windowTitle(), "0-0");
}

TEST_F(WindowTest, EventTestFiresAfterTwoSecondsWithoutFreezingTheWindow) {
  WriteSettingsFile(program_dir_, [](Settings& s) { s[SettingSlot::KeyCode] = Cp932Text("0D"); });
  const auto begin = std::chrono::steady_clock::now();
  Window().event_test_action()->trigger();
  EXPECT_TRUE(input_.events().empty());  // the command returned at once
  ASSERT_TRUE(QTest::qWaitFor([&] { return !input_.events().empty(); }, 5000));
  EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2000));
  EXPECT_EQ(input_.events(), (std::vector<std::string>{"down 13", "up 13"}));
  EXPECT_FALSE(session_->state().monitoring_active);
}

TEST_F(WindowTest, PlacementIsSavedAtCloseAndRestored) {
  const QRect default_place = Window().frameGeometry();
  Window().move(120, 90);
  const QSize size = Window().size();
  CloseWindow();

  EXPECT_EQ(Window().pos(), QPoint(120, 90));
  EXPECT_EQ(Window().size(), size);
  Window().showMaximized();
  CloseWindow();
  EXPECT_TRUE(Window().isMaximized());
  CloseWindow();

  // A value restoreGeometry did not write, such as an older program's 44-byte record, leaves
  // the window at its default place.
  for (const QByteArray& value :
       {QByteArray("\x2C\0\0\0\0\0\0\0\x01\0\0\0", 12) + QByteArray(32, '\x7F'),
        QByteArray("\x01\xD9\xD0\xCB\xFF\xFF", 6)}) {
    QSettings(placement_file_, QSettings::IniFormat).setValue("Settings/Window", value);
    EXPECT_EQ(Window().frameGeometry(), default_place);
    CloseWindow();
  }
}

}  // namespace
}  // namespace velmarin::test
