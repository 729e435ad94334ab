#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/control_panel.h"
#include "app/message_box_catcher.h"
#include "window_fixture.h"

namespace velmarin::test {
namespace {

using app::ControlPanel;

class ControlPanelTest : public WindowTest {
 protected:
  ControlPanel& Panel() { return *Window().panel(); }
  void Press(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void PressDigits(const char* digits) {
    for (const char* d = digits; *d; ++d) Press(Panel().digit_button(*d - '0'));
  }
  QString Field() { return Panel().id_field()->text(); }
  int Caret() { return Panel().id_field()->cursorPosition(); }
};

TEST_F(ControlPanelTest, KeypadInsertsAndDeletesAtTheCaretWithinTenCharacters) {
  PressDigits("1234");
  EXPECT_EQ(Field(), "1234");
  EXPECT_EQ(Caret(), 4);

  // In the middle: the digit goes in at the caret, which moves right; "C" takes the
  // character left of the caret, which moves left.
  Panel().id_field()->setCursorPosition(2);
  PressDigits("9");
  EXPECT_EQ(Field(), "12934");
  EXPECT_EQ(Caret(), 3);
  Press(Panel().delete_button());
  EXPECT_EQ(Field(), "1234");
  EXPECT_EQ(Caret(), 2);

  // A selection is not replaced: the digit goes in after its end.
  Panel().id_field()->setSelection(0, 2);
  PressDigits("7");
  EXPECT_EQ(Field(), "12734");
  EXPECT_EQ(Caret(), 3);

  // At the start "C" does nothing.
  Panel().id_field()->setCursorPosition(0);
  Press(Panel().delete_button());
  EXPECT_EQ(Field(), "12734");

  // Ten characters: more digits do nothing, "C" still deletes.
  Panel().id_field()->setCursorPosition(5);
  PressDigits("567890123");
  EXPECT_EQ(Field(), "1273456789");
  Press(Panel().delete_button());
  EXPECT_EQ(Field(), "127345678");

  Press(Panel().clear_button());
  EXPECT_EQ(Field(), "");
  Press(Panel().delete_button());
  EXPECT_EQ(Field(), "");
}

TEST_F(ControlPanelTest, KeypadWorksOnTheLastIdTakenOverNotOnTypedCharacters) {
  PressDigits("12");
  // Typed with the keyboard: the caret ends past the ID text the panel holds.
  QTest::keyClicks(Panel().id_field(), "3456");
  EXPECT_EQ(Caret(), 6);
  Press(Panel().delete_button());  // never reads past the two characters it holds
  EXPECT_EQ(Field(), "1");
  QTest::keyClicks(Panel().id_field(), "88");
  PressDigits("5");
  EXPECT_EQ(Field(), "15");
}

TEST_F(ControlPanelTest, StartShowsTheSwitchStateAndStopPauses) {
  struct Case {
    const char* device;
    bool busy;
    const char* status;
  };
  for (const Case& c :
       {Case{"NONE", false, "スイッチ未接続 監視中"}, Case{"COM1", false, "COM1 監視中"},
        Case{"COM3", true, "COM3スイッチエラー 監視中"}}) {
    SCOPED_TRACE(c.device);
    WriteSettingsFile(program_dir_,
                      [&](Settings& s) { s[SettingSlot::SwitchDevice] = Cp932Text(c.device); });
    if (std::string(c.device) != "NONE") serial_.AddPort(c.device, c.busy);
    EXPECT_EQ(Panel().status_line()->text().toStdString(), "IDを入力して下さい");
    Press(Panel().start_button());
    EXPECT_EQ(Panel().status_line()->text().toStdString(), c.status);
    EXPECT_TRUE(session_->state().monitoring_active);
    Press(Panel().stop_button());
    EXPECT_EQ(Panel().status_line()->text().toStdString(), "監視休止中");
    EXPECT_FALSE(session_->state().monitoring_active);
    // A port that does not open is reported in a message box.
    const auto boxes = TakeMessageBoxes();
    EXPECT_EQ(boxes,
              c.busy ? std::vector<QString>{"COM3 is not available"} : std::vector<QString>{});
    CloseWindow();
  }
}

TEST_F(ControlPanelTest, AnEmptyIdStartsAsZero) {
  Press(Panel().start_button());
  EXPECT_EQ(Field(), "0");
  EXPECT_EQ(session_->state().CaptureId(), "0");
  EXPECT_EQ(Window().windowTitle(), "0-0");
}

TEST_F(ControlPanelTest, IdsThatCodePage932CannotHoldInTenBytesAreRefused) {
  Press(Panel().start_button());  // monitoring runs with "0"
  app::MessageBoxCatcher boxes;
  for (const char* typed : {"12\u00e9", "あいうえおか"}) {  // é is not in code page 932; 12 bytes
    SCOPED_TRACE(typed);
    Panel().id_field()->setText(QString::fromUtf8(typed));
    EXPECT_FALSE(Panel().StartWithId());
    EXPECT_EQ(session_->state().CaptureId(), "0");
    EXPECT_EQ(Panel().id_text(), "0");
  }
  ASSERT_EQ(boxes.texts().size(), 2);
  EXPECT_TRUE(boxes.texts()[0].contains(QString::fromUtf8("シフトJIS")));
  EXPECT_TRUE(boxes.texts()[1].contains(QString::fromUtf8("10バイト")));

  // Five Japanese characters are ten bytes: taken.
  Panel().id_field()->setText(QString::fromUtf8("あいうえお"));
  EXPECT_TRUE(Panel().StartWithId());
  EXPECT_EQ(Utf8(session_->state().CaptureId().bytes()), "あいうえお");
}

}  // namespace
}  // namespace velmarin::test
