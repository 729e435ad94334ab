#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string>

#include "base/cp932_text.h"
#include "settings/settings.h"

class QWidget;

namespace velmarin::app {

// The code page 932 value of a text typed into `field`, or nullopt after a message box that
// says why it cannot be stored (a character code page 932 cannot write, or more than
// `max_bytes` bytes); the focus then goes to `field`. Nothing is stored mangled or cut.
std::optional<Cp932Text> TypedFieldValue(QWidget& field, const QString& text,
                                         std::size_t max_bytes);
// The same value stored in `into`; false after the message box (`into` keeps its value).
bool TakeTypedField(QWidget& field, const QString& text, std::size_t max_bytes, Cp932Text& into);

// What a dialog says when CheckSettingValue refuses a value of `slot` (the check --set makes
// too); empty for RefusedValue::kNone.
QString RefusalMessage(SettingSlot slot, RefusedValue refusal);
// Checks `value` of `slot`: false after a message box that says why it is refused, with the
// focus on `field` and its text selected when it is a line edit.
bool AcceptsSettingValue(QWidget& field, SettingSlot slot, const Cp932Text& value);

}  // namespace velmarin::app
