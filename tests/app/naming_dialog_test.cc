#include "app/naming_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>

#include <memory>

#include "app/message_box_catcher.h"
#include "app/widget_helpers.h"
#include "platform/encoding.h"
#include "support/cp932_text_testing.h"
#include "support/temp_dir.h"

namespace velmarin::app {
namespace {

constexpr LocalTime kNow{2012, 9, 28, 14, 5, 9};

std::string Cp932(const char* utf8) { return Utf8ToCp932(utf8).value().bytes(); }

class NamingDialogTest : public ::testing::Test {
 protected:
  NamingDialogTest() { fields_ = NamingFieldsFrom(DefaultSettings(Cp932Text("/station"))); }

  NamingDialog& Open() {
    NamingDialog::Context context{
        fonts_, Cp932Text(folder_.path().string()),
        PreviewSources{[] { return Cp932Text("123"); }, [] { return kNow; }}};
    dialog_ = std::make_unique<NamingDialog>(fields_, std::move(context));
    return *dialog_;
  }
  template <typename Control>
  Control& Find(const char* id) {
    return FindControl<Control>(*dialog_, id);
  }

  test::TempDir folder_;
  std::vector<std::string> fonts_;
  NamingFields fields_;
  std::unique_ptr<NamingDialog> dialog_;
};

TEST_F(NamingDialogTest, TabOrderIsTheResourceOrderFromOk) {
  ASSERT_TRUE(ShowActive(Open()));
  EXPECT_EQ(TabVisits(12), QStringList({"1", "1021", "2", "1015", "1039", "1045", "1003", "1052",
                                        "1053", "1044", "1046", "1"}));
}

TEST_F(NamingDialogTest, DefaultStampsShowAsTwoLinesAndComeBackUnchangedAfterOk) {
  const NamingFields before = fields_;
  Open();
  EXPECT_EQ(Find<QPlainTextEdit>("1021").toPlainText(),
            "150,5,3,ID:$i06 $y.$M.$d $h:$m:$s\n150,5,-22,Pellandor TEL:000-000-0000");
  EXPECT_EQ(Find<QLineEdit>("1003").text(), "95");
  Find<QPushButton>("1").click();
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(dialog_->fields(), before);
}

TEST_F(NamingDialogTest, ShortFinalPieceIsNotShownTypedLinesComeBackWithCrLf) {
  Settings settings = DefaultSettings(Cp932Text("/station"));
  settings[SettingSlot::TextLines] = Cp932Text("150,5,3,AB,99");
  fields_ = NamingFieldsFrom(settings);
  Open();
  auto& lines = Find<QPlainTextEdit>("1021");
  EXPECT_EQ(lines.toPlainText(), "150,5,3,AB\n");
  lines.setPlainText("150,5,3,a\n150,5,30,b\n150,5,60,c\n");
  Find<QPushButton>("1").click();
  EXPECT_EQ(dialog_->fields().text_lines, "150,5,3,a\r\n150,5,30,b\r\n150,5,60,c\r\n");
}

TEST_F(NamingDialogTest, EnterInTheStampEditMakesALineEnterElsewherePressesOk) {
  ASSERT_TRUE(ShowActive(Open()));
  auto& lines = Find<QPlainTextEdit>("1021");
  lines.setFocus();
  lines.moveCursor(QTextCursor::End);
  QTest::keyClick(&lines, Qt::Key_Return);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_TRUE(lines.toPlainText().endsWith("\n"));
  QTest::keyClick(&Find<QLineEdit>("1039"), Qt::Key_Return);
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_TRUE(dialog_->fields().text_lines.view().ends_with("0000\r\n"));
}

TEST_F(NamingDialogTest, QualityOutsideOneTo99IsRefusedWithTheFocusBackOnIt) {
  ASSERT_TRUE(ShowActive(Open()));
  MessageBoxCatcher messages;
  Find<QLineEdit>("1003").setText("100");
  Find<QPushButton>("1").click();
  EXPECT_EQ(messages.texts(), QStringList{"1 から 99 までの整数を入力してください。"});
  EXPECT_EQ(FocusedControl(*dialog_), "1003");
  EXPECT_TRUE(dialog_->isVisible());
  Find<QLineEdit>("1003").setText("9x");
  Find<QPushButton>("1").click();
  EXPECT_EQ(messages.texts().size(), 2);
  Find<QLineEdit>("1003").setText("99");
  Find<QPushButton>("1").click();
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(dialog_->fields().quality, 99);
}

TEST_F(NamingDialogTest, NameTemplateOver99BytesIsRefused) {
  ASSERT_TRUE(ShowActive(Open()));
  MessageBoxCatcher messages;
  Find<QLineEdit>("1015").setText(QString(50, QChar(0x65E5)));  // 50 kanji: 100 bytes
  Find<QPushButton>("1").click();
  EXPECT_EQ(FocusedControl(*dialog_), "1015");
  EXPECT_NE(dialog_->result(), QDialog::Accepted);
  Find<QLineEdit>("1015").setText(QString(48, QChar(0x65E5)) + "$rx");
  Find<QPushButton>("1").click();
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(messages.texts().size(), 1);
}

// A colour that is not six hexadecimal digits draws no stamp and an empty name format writes
// every still over one file: both are refused. A format without "$r" is taken, said once.
TEST_F(NamingDialogTest, ValuesThatWouldDoNothingAreRefusedAndAMissingSerialIsSaidOnce) {
  ASSERT_TRUE(ShowActive(Open()));
  MessageBoxCatcher messages;
  for (const char* control : {"1052", "1053"}) {
    SCOPED_TRACE(control);
    Find<QLineEdit>(control).setText("GGGGGG");
    Find<QPushButton>("1").click();
    EXPECT_NE(dialog_->result(), QDialog::Accepted);
    EXPECT_EQ(FocusedControl(*dialog_), control);
    Find<QLineEdit>(control).setText("00ff00");
  }
  Find<QLineEdit>("1015").setText("");
  Find<QPushButton>("1").click();
  EXPECT_NE(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(FocusedControl(*dialog_), "1015");
  ASSERT_EQ(messages.texts().size(), 3);
  EXPECT_TRUE(messages.texts()[0].contains(QString::fromUtf8("16進数")));

  Find<QLineEdit>("1015").setText("$i");
  Find<QPushButton>("1").click();
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(dialog_->fields().text_color, "00ff00");
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages.texts().size() == 4; }, 5000));
  EXPECT_TRUE(messages.texts()[3].contains("$r"));
  dialog_->open();
  Find<QPushButton>("1").click();
  QCoreApplication::processEvents();
  EXPECT_EQ(messages.texts().size(), 4) << "said once";
}

TEST_F(NamingDialogTest, FontListIsSortedOnceEachWithTheStoredFontInTheEditField) {
  fonts_ = {"Zeta", "Zeta", "alpha", Cp932("IPA明朝"), "Beta"};
  fields_.font = Cp932Text(Cp932("ＭＳ 明朝"));
  Open();
  auto& font = Find<QComboBox>("1045");
  EXPECT_EQ(font.currentText(), "ＭＳ 明朝");
  QStringList entries;
  for (int i = 0; i < font.count(); ++i) entries << font.itemText(i);
  EXPECT_EQ(entries, QStringList({"alpha", "Beta", "IPA明朝", "Zeta"}));
}

// A long family name is never cut in the narrow combo's list: the list is as wide as the name,
// and the name is each entry's tooltip, and the combo's own while it is chosen.
TEST_F(NamingDialogTest, FontListShowsLongNamesWhole) {
  const std::string long_name = "Noto Sans CJK JP DemiLight Extra Condensed";
  fonts_ = {long_name, "Zeta"};
  Open();
  auto& font = Find<QComboBox>("1045");
  const int name_width =
      font.view()->fontMetrics().horizontalAdvance(QString::fromStdString(long_name));
  EXPECT_GT(name_width, font.width());
  EXPECT_GT(font.view()->minimumWidth(), name_width);
  EXPECT_EQ(font.itemData(0, Qt::ToolTipRole).toString().toStdString(), long_name);
  font.setCurrentIndex(0);
  EXPECT_EQ(font.toolTip().toStdString(), long_name);
}

TEST_F(NamingDialogTest, PreviewShowsTheNextNameBehindTheTransferFolder) {
  Open();
  Find<QLineEdit>("1015").setText("$i04_$r02");
  Find<QLineEdit>("1039").setText("1,2,3,4");
  Find<QPlainTextEdit>("1021").setPlainText("100,1,1,a\n100,1,40,b");
  const PreviewContent content = dialog_->PreviewFor(720);
  EXPECT_EQ(dialog_->FileNameSearch()(), Cp932("転送ファイル名 = /0123_01.jpg"));
  EXPECT_EQ(content.source_range, "1,2,3,4");
  EXPECT_EQ(content.text_lines, "100,1,1,a,100,1,40,b");
  EXPECT_EQ(content.width, 720);

  test::WriteFileBytes(folder_ / "0123_01.jpg", "x");
  dialog_->PreviewFor(640);
  EXPECT_EQ(dialog_->FileNameSearch()(), Cp932("転送ファイル名 = /0123_02.jpg"));
}

// The preview opens at once with the picture; the name, searched on another thread, follows.
TEST_F(NamingDialogTest, PreviewOpensAtOnceAndShowsTheNameWhenTheSearchReturns) {
  Open();
  Find<QLineEdit>("1015").setText("$i04_$r02");
  const std::unique_ptr<PreviewDialog> preview = dialog_->OpenPreview(640);
  EXPECT_EQ(preview->area().content().file_name_line, Cp932("転送ファイル名 = …"));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return preview->area().content().file_name_line == Cp932("転送ファイル名 = /0123_01.jpg");
  }));
  EXPECT_TRUE(std::filesystem::is_empty(folder_.path()));  // a dry run
}

}  // namespace
}  // namespace velmarin::app
