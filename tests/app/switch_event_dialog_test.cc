#include "app/switch_event_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <utility>
#include <vector>

#include "app/dialog_controls.h"
#include "app/message_box_catcher.h"
#include "app/widget_helpers.h"

namespace velmarin::app {
namespace {

class SwitchEventDialogTest : public ::testing::Test {
 protected:
  SwitchEventDialogTest() {
    fields_ = SwitchEventFieldsFrom(DefaultSettings(Cp932Text("/station")));
  }

  SwitchEventDialog& Open() {
    dialog_ = std::make_unique<SwitchEventDialog>(
        fields_, SwitchEventDialog::Services{[this] { return devices_; },
                                             [this](int x, int y) { moves_.emplace_back(x, y); }});
    return *dialog_;
  }
  template <typename Control>
  Control& Find(const char* id) {
    return FindControl<Control>(*dialog_, id);
  }

  SwitchEventFields fields_;
  std::vector<std::string> devices_ = {"COM1", "COM3", "NONE", "USB-IO"};
  std::vector<std::pair<int, int>> moves_;
  std::unique_ptr<SwitchEventDialog> dialog_;
};

TEST_F(SwitchEventDialogTest, TabOrderIsTheTemplateOrderFromOk) {
  ASSERT_TRUE(ShowActive(Open()));
  EXPECT_EQ(TabVisits(15), QStringList({"1", "2", "1018", "1019", "1006", "1008", "1012", "1013",
                                        "1014", "1022", "1017", "1015", "1028", "1029", "1"}));
}

TEST_F(SwitchEventDialogTest, CombosSelectTheFirstEntryBeginningWithTheTextElseShowIt) {
  fields_.trigger_edge = Cp932Text("o");
  fields_.device =
      Cp932Text("com");  // the list is filled after the transfer: the text stays as stored
  Open();
  auto& trigger = Find<QComboBox>("1008");
  EXPECT_EQ(trigger.currentText(), "OFF");
  EXPECT_EQ(trigger.count(), 2);
  EXPECT_EQ(trigger.itemText(0), "OFF");
  auto& device = Find<QComboBox>("1006");
  EXPECT_EQ(device.currentText(), "com");

  fields_.trigger_edge = Cp932Text("on");
  fields_.device = Cp932Text("COM4");  // stored, but not among the ports that open
  Open();
  EXPECT_EQ(Find<QComboBox>("1008").currentText(), "ON");
  auto& absent = Find<QComboBox>("1006");
  EXPECT_EQ(absent.currentText(), "COM4");
  ASSERT_EQ(absent.count(), 4);
  EXPECT_EQ(absent.itemText(0), "COM1");
  EXPECT_EQ(absent.itemText(3), "USB-IO");

  fields_.trigger_edge = Cp932Text("RISE");
  Open();
  EXPECT_EQ(Find<QComboBox>("1008").currentText(), "RISE");
}

TEST_F(SwitchEventDialogTest, OkTakesTheControlsAsTyped) {
  Open();
  Find<QComboBox>("1006").setEditText("USB-IO");
  Find<QComboBox>("1008").setCurrentIndex(0);
  Find<QLineEdit>("1015").setText("abc");
  Find<QLineEdit>("1012").setText("7b");
  Find<QCheckBox>("1017").setChecked(true);
  Find<QLineEdit>("1019").setText("-4");
  Find<QPushButton>("1").click();
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  const SwitchEventFields& taken = dialog_->fields();
  EXPECT_EQ(taken.device, "USB-IO");
  EXPECT_EQ(taken.trigger_edge, "OFF");
  EXPECT_EQ(taken.poll_ms, "abc");
  EXPECT_EQ(taken.key_code, "7b");
  EXPECT_EQ(taken.mouse_y, "-4");
  EXPECT_TRUE(taken.shift);
  EXPECT_FALSE(taken.ctrl);
}

TEST_F(SwitchEventDialogTest, KeyCodeTakesTwoCharactersAStoredLongerOneIsRefusedOnOk) {
  fields_.key_code = Cp932Text("0D1");
  ASSERT_TRUE(ShowActive(Open()));
  auto& key = Find<QLineEdit>("1012");
  EXPECT_EQ(key.text(), "0D1");  // shown in full
  MessageBoxCatcher messages;
  Find<QPushButton>("1").click();
  EXPECT_EQ(messages.texts(), QStringList{MaxCharsMessage(2)});
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_NE(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(FocusedControl(*dialog_), "1012");

  key.setText("0D");
  key.end(false);
  QTest::keyClicks(&key, "E");
  EXPECT_EQ(key.text(), "0D");
  QTest::keyClick(&key, Qt::Key_Backspace);
  QTest::keyClicks(&key, "a");
  EXPECT_EQ(key.text(), "0a");
}

TEST_F(SwitchEventDialogTest, PositionCheckMovesToTheLastCompletelyTransferredPosition) {
  fields_.mouse_x = Cp932Text("12");
  fields_.mouse_y = Cp932Text("34");
  Open();
  Find<QLineEdit>("1018").setText("640");
  Find<QPushButton>("1022").click();
  Find<QLineEdit>("1012").setText("ABC");
  Find<QLineEdit>("1018").setText("1");
  {
    MessageBoxCatcher messages;
    Find<QPushButton>("1022").click();
    EXPECT_EQ(messages.texts().size(), 1);
  }
  Find<QLineEdit>("1018").setText("x");
  Find<QLineEdit>("1012").clear();
  Find<QPushButton>("1022").click();  // not a number: the pointer stays
  EXPECT_EQ(moves_, (std::vector<std::pair<int, int>>{{640, 34}, {640, 34}}));
}

TEST_F(SwitchEventDialogTest, TextsCodePage932CannotHoldAreRefusedNotCut) {
  ASSERT_TRUE(ShowActive(Open()));
  MessageBoxCatcher messages;
  Find<QLineEdit>("1018").setText(QStringLiteral("3\u00e9"));  // é is not in code page 932
  Find<QPushButton>("1").click();
  EXPECT_EQ(FocusedControl(*dialog_), "1018");
  Find<QLineEdit>("1018").setText("3");
  Find<QLineEdit>("1029").setText(QString(500, QLatin1Char('9')));
  Find<QPushButton>("1").click();
  EXPECT_EQ(FocusedControl(*dialog_), "1029");
  EXPECT_EQ(messages.texts().size(), 2);
  EXPECT_NE(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(dialog_->fields().mouse_x, "3");
  EXPECT_EQ(dialog_->fields().delay_ms, "0");
}

}  // namespace
}  // namespace velmarin::app
