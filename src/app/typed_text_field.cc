#include "app/typed_text_field.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QWidget>

#include "app/dialog_controls.h"

#include "settings/typed_text.h"

namespace velmarin::app {

std::optional<Cp932Text> TypedFieldValue(QWidget& field, const QString& text,
                                         std::size_t max_bytes) {
  TypedTextError error{};
  std::optional<Cp932Text> value = TypedTextToCp932(text.toStdString(), max_bytes, &error);
  if (value) return value;
  const QString message =
      error == TypedTextError::kNotCp932
          ? QStringLiteral("Shift-JIS（コードページ 932）で書けない文字は使えません。")
          : QStringLiteral("Shift-JIS で %1 バイト以内で入力してください。").arg(max_bytes);
  QMessageBox::warning(field.window(), field.window()->windowTitle(), message);
  field.setFocus();
  return std::nullopt;
}

bool TakeTypedField(QWidget& field, const QString& text, std::size_t max_bytes, Cp932Text& into) {
  auto value = TypedFieldValue(field, text, max_bytes);
  if (value) into = std::move(*value);
  return value.has_value();
}

QString RefusalMessage(SettingSlot slot, RefusedValue refusal) {
  switch (refusal) {
    case RefusedValue::kNone:
      break;
    case RefusedValue::kLineBreak:
      return QStringLiteral("改行は使えません。");
    case RefusedValue::kTooLong:
      return QStringLiteral("Shift-JIS で %1 バイト以内で入力してください。")
          .arg(SettingMaxBytes(slot));
    case RefusedValue::kNotAColor:
      return QStringLiteral("色は6桁の16進数（青、緑、赤の順。例 FFFFFF）で入力してください。");
    case RefusedValue::kEmptyNameFormat:
      return QStringLiteral("転送画像ファイル名フォーマットを入力してください。");
    case RefusedValue::kNotANumber:
      return QStringLiteral("整数を入力してください。");
    case RefusedValue::kQualityOutOfRange:
      return QStringLiteral("%1 から %2 までの整数を入力してください。")
          .arg(kMinJpegQuality)
          .arg(kMaxJpegQuality);
    case RefusedValue::kKeyCodeTooLong:
      return MaxCharsMessage(static_cast<int>(kMaxKeyCodeCharacters));
  }
  return {};
}

bool AcceptsSettingValue(QWidget& field, SettingSlot slot, const Cp932Text& value) {
  const QString message = RefusalMessage(slot, CheckSettingValue(slot, value));
  if (message.isEmpty()) return true;
  QMessageBox::warning(field.window(), field.window()->windowTitle(), message);
  field.setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(&field)) edit->selectAll();
  return false;
}

}  // namespace velmarin::app
