#include "app/switch_event_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "app/combo_text.h"
#include "app/dialog_controls.h"
#include "app/qt_text.h"
#include "app/typed_text_field.h"
#include "base/scanf_reader.h"

namespace velmarin::app {
namespace {

constexpr int kKeyCodeLimit = static_cast<int>(kMaxKeyCodeCharacters);

// Like an edit limited to two characters: a third cannot be typed, but a longer text that
// was put in from the settings stays whole and can be shortened.
class KeyCodeValidator : public QValidator {
 public:
  explicit KeyCodeValidator(QLineEdit* edit) : QValidator(edit) {
    QObject::connect(edit, &QLineEdit::textChanged, this,
                     [this](const QString& text) { length_ = text.size(); });
  }
  State validate(QString& input, int& /*pos*/) const override {
    return input.size() > kKeyCodeLimit && input.size() > length_ ? Invalid : Acceptable;
  }

 private:
  qsizetype length_ = 0;  // of the text the edit holds
};

}  // namespace

SwitchEventDialog::SwitchEventDialog(SwitchEventFields fields, Services services, QWidget* parent)
    : QDialog(parent), fields_(std::move(fields)), services_(std::move(services)) {
  setWindowTitle(QStringLiteral("スイッチ・イベント設定"));
  DialogBuilder build(*this, 155, 256);

  build.Group(QStringLiteral("スイッチの設定"), 4, 4, 148, 114);
  device_ = build.Combo(1006, 8, 16, 40, 67);
  build.Static(QStringLiteral("キャプチャーのスイッチに使うデバイスの選択。"), 54, 16, 90, 17);
  trigger_edge_ = build.Combo(1008, 8, 36, 31, 67);
  build.Static(QStringLiteral("スイッチがON,OFFのどちらに変化したときにキャプチャーするか。"), 44,
               36, 100, 16);
  poll_ms_ = build.Edit(1015, 8, 56, 20, 14);
  build.Static(QStringLiteral("スイッチチェックのループ時間。(ms)"), 34, 58, 112, 9);
  delay_ms_ = build.Edit(1029, 8, 76, 20, 14);
  build.Static(QStringLiteral("スイッチ変化を確認して、イベントを起こすまでの待ち時間。(ms)"), 34,
               74, 113, 18);
  rest_ms_ = build.Edit(1028, 8, 97, 20, 14);
  build.Static(QStringLiteral("キャプチャーした後、チェックを休止する時間。(ms)"), 34, 97, 112, 17);
  build.Group(QStringLiteral("イベントの設定"), 4, 128, 148, 104);
  key_code_ = build.Edit(1012, 8, 140, 20, 14);
  build.Static(
      QStringLiteral("発生させるキーコードイベント：16進2桁\nHelp(H)でキーコード一覧が見れます。"),
      34, 140, 114, 16);
  ctrl_ = build.Check(1013, QStringLiteral("Ctrl"), 34, 160, 25, 10);
  alt_ = build.Check(1014, QStringLiteral("Alt"), 59, 160, 22, 10);
  shift_ = build.Check(1017, QStringLiteral("Shift"), 84, 160, 25, 10);
  build.Static(QStringLiteral("Cｔｒｌ、Alt、Shiftキーをキーイベントに\n伴わせることもできます。"),
               34, 173, 108, 20);
  mouse_x_ = build.Edit(1018, 8, 195, 20, 14);
  mouse_y_ = build.Edit(1019, 32, 195, 20, 14);
  build.Static(QStringLiteral("マウス位置（XY）"), 56, 199, 48, 8);
  auto* position_check = build.Button(1022, QStringLiteral("位置確認"), 108, 195, 39, 14);
  build.Static(
      QStringLiteral(
          "キーコードが設定されてなければ、この位置で\nマウス左クリックイベントを起こします。"),
      8, 211, 140, 17);
  auto* cancel = build.Button(2, QStringLiteral("ｷｬﾝｾﾙ"), 73, 237, 35, 14);
  auto* ok = build.Button(1, QStringLiteral("OK"), 112, 237, 39, 14);
  ok->setDefault(true);
  key_code_->setValidator(new KeyCodeValidator(key_code_));

  ChainTabOrder({ok, cancel, mouse_x_, mouse_y_, device_, trigger_edge_, key_code_, ctrl_, alt_,
                 position_check, shift_, poll_ms_, rest_ms_, delay_ms_});
  connect(ok, &QPushButton::clicked, this, &SwitchEventDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &SwitchEventDialog::reject);
  connect(position_check, &QPushButton::clicked, this, &SwitchEventDialog::OnPositionCheck);

  // The initialization data, the transfer of the fields, then the device list: the stored
  // device always stands in the edit field, listed or not.
  AddSortedEntries(*trigger_edge_, {QStringLiteral("ON"), QStringLiteral("OFF")});
  ShowFields();
  QStringList devices;
  // Device names are file-system names (UTF-8).
  for (const std::string& name : services_.list_devices()) {
    devices << QString::fromStdString(name);
  }
  AddSortedEntries(*device_, devices);
  ok->setFocus();
}

void SwitchEventDialog::ShowFields() {
  alt_->setChecked(fields_.alt);
  ctrl_->setChecked(fields_.ctrl);
  shift_->setChecked(fields_.shift);
  key_code_->setText(FromCp932(fields_.key_code));
  mouse_x_->setText(FromCp932(fields_.mouse_x));
  mouse_y_->setText(FromCp932(fields_.mouse_y));
  SetComboText(*trigger_edge_, FromCp932(fields_.trigger_edge));
  rest_ms_->setText(FromCp932(fields_.rest_ms));
  poll_ms_->setText(FromCp932(fields_.poll_ms));
  SetComboText(*device_, FromCp932(fields_.device));
  delay_ms_->setText(FromCp932(fields_.delay_ms));
}

bool SwitchEventDialog::TakeFields() {
  fields_.alt = alt_->isChecked();
  fields_.ctrl = ctrl_->isChecked();
  fields_.shift = shift_->isChecked();
  const auto key_code = TypedFieldValue(*key_code_, key_code_->text(), kSlotMaxBytes);
  if (!key_code || !AcceptsSettingValue(*key_code_, SettingSlot::KeyCode, *key_code)) return false;
  fields_.key_code = *key_code;
  return TakeTypedField(*mouse_x_, mouse_x_->text(), kSlotMaxBytes, fields_.mouse_x) &&
         TakeTypedField(*mouse_y_, mouse_y_->text(), kSlotMaxBytes, fields_.mouse_y) &&
         TakeTypedField(*trigger_edge_, trigger_edge_->currentText(), kSlotMaxBytes,
                        fields_.trigger_edge) &&
         TakeTypedField(*rest_ms_, rest_ms_->text(), kSlotMaxBytes, fields_.rest_ms) &&
         TakeTypedField(*poll_ms_, poll_ms_->text(), kSlotMaxBytes, fields_.poll_ms) &&
         TakeTypedField(*device_, device_->currentText(), kSlotMaxBytes, fields_.device) &&
         TakeTypedField(*delay_ms_, delay_ms_->text(), kSlotMaxBytes, fields_.delay_ms);
}

void SwitchEventDialog::accept() {
  if (TakeFields()) QDialog::accept();
}

void SwitchEventDialog::OnPositionCheck() {
  TakeFields();
  // The position of the last complete transfer; a position that is not a number moves
  // nothing rather than somewhere unintended.
  const auto x = ScanDecimal(fields_.mouse_x.view());
  const auto y = ScanDecimal(fields_.mouse_y.view());
  if (x && y) services_.move_pointer(*x, *y);
}

}  // namespace velmarin::app
