#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <filesystem>

#include "app/control_panel.h"
#include "app/naming_dialog.h"
#include "app/switch_event_dialog.h"
#include "app/widget_helpers.h"
#include "settings/settings.h"
#include "support/pictures.h"
#include "window_fixture.h"

namespace velmarin::test {
namespace {

namespace fs = std::filesystem;
using app::FindControl;

int Press(QDialog& dialog, const char* button) {
  FindControl<QPushButton>(dialog, button).click();
  return dialog.result();
}

QString Status(app::MainWindow& window) { return window.panel()->status_text(); }

// The preview's file-name line as the naming dialog's search finds it.
std::string PreviewLine(QDialog& dialog) {
  auto& naming = static_cast<app::NamingDialog&>(dialog);
  naming.PreviewFor(640);
  return naming.FileNameSearch()().bytes();
}

TEST_F(WindowTest, SwitchEventCommandStoresTheTickedModifiersAndRestartsMonitoring) {
  WriteSettingsFile(program_dir_,
                    [](Settings& s) { s[SettingSlot::Modifiers] = Cp932Text("0101"); });
  run_dialog_ = [](QDialog& dialog) {
    FindControl<QCheckBox>(dialog, "1014").setChecked(false);
    FindControl<QCheckBox>(dialog, "1017").setChecked(true);
    FindControl<QLineEdit>(dialog, "1012").setText("0D");
    return Press(dialog, "1");
  };
  Window().switch_event_action()->trigger();
  EXPECT_EQ(session_->state().Slot(SettingSlot::Modifiers), "0011");
  EXPECT_EQ(session_->state().Slot(SettingSlot::KeyCode), "0D");
  EXPECT_TRUE(MonitoringResumes());
  EXPECT_EQ(Status(Window()), "スイッチ未接続 監視中");
}

TEST_F(WindowTest, SwitchEventCancelClosesAndReopensThePortAndStartsMonitoring) {
  serial_.AddPort("COM1");
  WriteSettingsFile(program_dir_,
                    [](Settings& s) { s[SettingSlot::SwitchDevice] = Cp932Text("COM1"); });
  Window();
  ASSERT_TRUE(serial_.IsHeld("COM1"));
  const Settings before = session_->state().settings();
  bool held_in_dialog = true;
  QString listed;
  run_dialog_ = [&](QDialog& dialog) {
    held_in_dialog = serial_.IsHeld("COM1");
    listed = FindControl<QComboBox>(dialog, "1006").itemText(0);
    FindControl<QLineEdit>(dialog, "1015").setText("99");
    return Press(dialog, "2");
  };
  Window().switch_event_action()->trigger();
  EXPECT_FALSE(held_in_dialog);
  EXPECT_EQ(listed, "COM1");
  EXPECT_TRUE(serial_.IsHeld("COM1"));
  EXPECT_EQ(session_->state().settings(), before);
  EXPECT_TRUE(MonitoringResumes());
  EXPECT_EQ(Status(Window()), "COM1 監視中");
}

// SIGTERM or a logout while the dialog is open: the dialog is closed as Cancel, the port stays
// closed, and the close goes on once the command has returned.
TEST_F(WindowTest, CloseWhileTheSwitchDialogIsOpenCancelsItAndReopensNothing) {
  serial_.AddPort("COM1");
  WriteSettingsFile(program_dir_,
                    [](Settings& s) { s[SettingSlot::SwitchDevice] = Cp932Text("COM1"); });
  Window();
  const Settings before = session_->state().settings();
  run_dialog_ = [&](QDialog& dialog) {
    Window().close();
    FindControl<QLineEdit>(dialog, "1015").setText("99");
    return Press(dialog, "1");
  };
  Window().switch_event_action()->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Window().shut_down(); }, 20000));
  EXPECT_FALSE(serial_.IsHeld("COM1"));
  EXPECT_FALSE(session_->state().monitoring_active);
  EXPECT_EQ(session_->state().settings(), before);
  EXPECT_FALSE(Window().isVisible());
}

TEST_F(WindowTest, SwitchEventWithAPortThatFailsSaysSoAndShowsTheSwitchError) {
  Window();
  TakeMessageBoxes();
  run_dialog_ = [](QDialog& dialog) {
    FindControl<QComboBox>(dialog, "1006").setEditText("COM2");
    FindControl<QLineEdit>(dialog, "1018").setText("5");
    FindControl<QLineEdit>(dialog, "1019").setText("6");
    FindControl<QPushButton>(dialog, "1022").click();
    return Press(dialog, "1");
  };
  Window().switch_event_action()->trigger();
  EXPECT_EQ(input_.events(), std::vector<std::string>{"move 5,6"});
  EXPECT_EQ(TakeMessageBoxes(), std::vector<QString>{"COM2 is not available"});
  EXPECT_EQ(Status(Window()), "COM2スイッチエラー 監視中");
  EXPECT_TRUE(MonitoringResumes());
}

TEST_F(WindowTest, NamingCommandTakesTheTypedIdShowsItsPreviewNameAndStoresOnOk) {
  Window().panel()->id_field()->setText("123");
  std::string line;
  run_dialog_ = [&line](QDialog& dialog) {
    FindControl<QLineEdit>(dialog, "1015").setText("$i04_$r02");
    line = PreviewLine(dialog);
    FindControl<QLineEdit>(dialog, "1003").setText("99");
    return Press(dialog, "1");
  };
  Window().naming_action()->trigger();
  EXPECT_EQ(session_->state().CaptureId(), "123");
  EXPECT_EQ(Utf8(line), "転送ファイル名 = /0123_01.jpg");
  EXPECT_EQ(session_->state().Slot(SettingSlot::NameFormat), "$i04_$r02");
  EXPECT_EQ(session_->state().Slot(SettingSlot::JpegQuality), "99");
  EXPECT_TRUE(MonitoringResumes());

  // An empty ID field becomes "0"; Cancel stores nothing but monitoring runs again.
  Window().panel()->Stop();
  Window().panel()->id_field()->clear();
  const Settings before = session_->state().settings();
  run_dialog_ = [](QDialog& dialog) {
    FindControl<QLineEdit>(dialog, "1003").setText("50");
    return Press(dialog, "2");
  };
  Window().naming_action()->trigger();
  EXPECT_EQ(session_->state().CaptureId(), "0");
  EXPECT_EQ(Window().panel()->id_field()->text(), "") << "only the ID itself is set";
  EXPECT_EQ(session_->state().settings(), before);
  EXPECT_TRUE(MonitoringResumes());
}

// A relative transfer folder lies in the program folder for the preview as for the transfer,
// whatever the current folder ($HOME from the menu) is; the preview creates nothing.
TEST_F(WindowTest, NamingPreviewLooksForSerialsWhereTheTransferWrites) {
  WriteSettingsFile(program_dir_,
                    [](Settings& s) { s[SettingSlot::TransferFolder] = Cp932Text("rel"); });
  fs::create_directories(dir_ / "rel");
  WriteFileBytes(dir_ / "rel" / "0123_01.jpg", "x");
  Window().panel()->id_field()->setText("123");
  std::string line;
  run_dialog_ = [&line](QDialog& dialog) {
    FindControl<QLineEdit>(dialog, "1015").setText("sub\\$i04_$r02");
    line = PreviewLine(dialog);
    FindControl<QLineEdit>(dialog, "1015").setText("$i04_$r02");
    line += "|" + PreviewLine(dialog);
    return int{QDialog::Rejected};
  };
  Window().naming_action()->trigger();
  EXPECT_EQ(Utf8(line), "転送ファイル名 = /sub/0123_01.jpg|転送ファイル名 = /0123_02.jpg");
  EXPECT_FALSE(fs::exists(dir_ / "rel" / "sub"));
}

TEST_F(WindowTest, FontsAreCollectedAtTheInitialUpdateAndOfferedByTheNamingDialog) {
  const std::string mincho = Cp932("IPA明朝");
  const auto& names = Window().font_names().names();
  EXPECT_NE(std::find(names.begin(), names.end(), mincho), names.end());
  int found = -1;
  QString shown;
  run_dialog_ = [&](QDialog& dialog) {
    auto& fonts = FindControl<QComboBox>(dialog, "1045");
    found = fonts.findText("IPA明朝", Qt::MatchExactly);
    shown = fonts.currentText();
    return Press(dialog, "2");
  };
  Window().naming_action()->trigger();
  EXPECT_GE(found, 0);
  EXPECT_EQ(shown, "ＭＳ 明朝");
}

TEST_F(WindowTest, SettingsFromTheDialogsComeBackUnchangedAfterARestart) {
  run_dialog_ = [](QDialog& dialog) {
    FindControl<QCheckBox>(dialog, "1013").setChecked(true);
    FindControl<QComboBox>(dialog, "1008").setEditText("OFF");
    return Press(dialog, "1");
  };
  Window().switch_event_action()->trigger();
  run_dialog_ = [](QDialog& dialog) {
    FindControl<QLineEdit>(dialog, "1003").setText("80");
    FindControl<QComboBox>(dialog, "1045").setEditText("IPA明朝");
    return Press(dialog, "1");
  };
  Window().naming_action()->trigger();
  const Settings stored = session_->state().settings();
  CloseWindow();

  Window();
  EXPECT_EQ(session_->state().settings(), stored);
  QString quality;
  QString font;
  run_dialog_ = [&](QDialog& dialog) {
    quality = FindControl<QLineEdit>(dialog, "1003").text();
    font = FindControl<QComboBox>(dialog, "1045").currentText();
    return Press(dialog, "1");
  };
  Window().naming_action()->trigger();
  EXPECT_EQ(quality, "80");
  EXPECT_EQ(font, "IPA明朝");
  bool ctrl = false;
  QString edge;
  run_dialog_ = [&](QDialog& dialog) {
    ctrl = FindControl<QCheckBox>(dialog, "1013").isChecked();
    edge = FindControl<QComboBox>(dialog, "1008").currentText();
    return Press(dialog, "1");
  };
  Window().switch_event_action()->trigger();
  EXPECT_TRUE(ctrl);
  EXPECT_EQ(edge, "OFF");
  EXPECT_EQ(session_->state().settings(), stored);
}

TEST_F(WindowTest, TheNextTransferredImageCarriesTheSettingsOfTheNamingDialog) {
  Window().panel()->id_field()->setText("7");
  run_dialog_ = [](QDialog& dialog) {
    FindControl<QLineEdit>(dialog, "1015").setText("$i03_$r02");
    FindControl<QLineEdit>(dialog, "1039").setText("10,10,-10,-10");
    FindControl<QLineEdit>(dialog, "1053")
        .setText("0000FF");  // red: the digits read blue, green, red
    FindControl<QPlainTextEdit>(dialog, "1021").clear();
    return Press(dialog, "1");
  };
  Window().naming_action()->trigger();
  ASSERT_TRUE(MonitoringResumes());

  // A new picture arrives by rename once the folder thread has looked at the folder; it
  // remembers what it saw there across the dialog's pause.
  ASSERT_TRUE(WatchFolderLookedAt());
  const fs::path watch = session_->state().Slot(SettingSlot::WatchFolder).bytes();
  WriteJpeg(watch / "incoming.tmp", PaintPicture(64, 48, [](int, int) { return Rgb{90, 90, 90}; }));
  fs::rename(watch / "incoming.tmp", watch / "still.jpg");

  const fs::path target = dir_ / "hozon" / "007_01.jpg";
  ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(target); }, 10000));
  const auto result = DecodeJpegFile(target);
  ASSERT_TRUE(result);
  EXPECT_TRUE(Near(PixelOf(*result, 3, 24), Rgb{255, 0, 0}, 40));
  EXPECT_TRUE(Near(PixelOf(*result, 32, 24), Rgb{90, 90, 90}, 12));
}

}  // namespace
}  // namespace velmarin::test
