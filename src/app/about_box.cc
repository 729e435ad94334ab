#include "app/about_box.h"

#include <QListWidget>
#include <QPushButton>

#include "app/dialog_units.h"

namespace velmarin::app {

QStringList HelpLines() {
  const QString rule(53, QLatin1Char('='));
  const QString blank = QStringLiteral("\u3000");
  return {
      rule,
      QStringLiteral("USB-IO,RS232Cの監視"),
      rule,
      QStringLiteral("USB-IO(0ピン)もしくはRS232C(DSR,CTS)の電圧を監視します。"),
      QStringLiteral("電圧が変化したときにキーイベントもしくはマウスイベントを"),
      QStringLiteral("発生させます。お使いのキャプチャーソフトが静止画を"),
      QStringLiteral("キャプチャーするようにイベントを設定してください。"),
      QStringLiteral("Optionメニューのスイッチ・イベント設定から、使用する"),
      QStringLiteral("スイッチ、マウスイベントの位置などを指定します。"),
      QStringLiteral("キーイベントは下表を参考に16進2桁で指定してください。"),
      blank,
      QStringLiteral("Back Space   0x08             Print Screen 0x2C "),
      QStringLiteral("Enter(Ret)   0x0D             Insert       0x2D "),
      QStringLiteral("Space        0x20             Delete       0x2E"),
      QStringLiteral("PageUp       0x21             0-9          0x30-0x39"),
      QStringLiteral("PageDown     0x22             A-Z          0x41-0x5A"),
      QStringLiteral("Home         0x24             FunctionKeys 0x70-0x87"),
      QStringLiteral("←           0x25             →           0x27 "),
      QStringLiteral("↑           0x26             ↓           0x28"),
      blank,
      rule,
      QStringLiteral("静止画像キャプチャーの監視、編集、転送"),
      rule,
      QStringLiteral("キャプチャーソフトが静止画を保存するフォルダを監視し、"),
      QStringLiteral("画像がキャプチャーされると、その画像を転送フォルダに"),
      QStringLiteral("任意のファイル名でコピーします。"),
      QStringLiteral("画像にはIDなど任意の文字を書きこめます。"),
      QStringLiteral("画像がBMPならJPGに変換します。"),
      QStringLiteral("Fileメニューで「画像退避」にチェックすると、監視フォルダに"),
      QStringLiteral("溜まった画像は次回起動時に、このVelmarinプログラムフォルダの"),
      QStringLiteral("中のbkupフォルダに退避させます。"),
      blank,
      QStringLiteral("監視フォルダはキャプチャーソフトが画像を保存するフォルダを"),
      QStringLiteral("指定してください。"),
      QStringLiteral("転送フォルダはVelmarinCapプログラムのhozonフォルダに設定"),
      QStringLiteral("されていますが、必要なら変更して下さい。"),
      QStringLiteral("命名・編集法から転送画像につけるファイル名を設定し、画像に"),
      QStringLiteral("書き込むID、日時文字列などを設定してください。"),
  };
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), list_(new QListWidget(this)) {
  setWindowTitle(QStringLiteral("VelmarinCap\u3000Ver4.0"));
  const QFont font = FormFont("HG創英角ｺﾞｼｯｸUB", 10);
  setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  setFixedSize(DialogRect(units, 0, 0, 274, 289).size());

  list_->setGeometry(DialogRect(units, 5, 6, 263, 262));
  list_->setSortingEnabled(false);
  list_->addItems(HelpLines());

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(DialogRect(units, 220, 272, 48, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace velmarin::app
