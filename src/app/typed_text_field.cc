#include "app/typed_text_field.h"

#include <QMessageBox>
#include <QWidget>

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

}  // namespace velmarin::app
