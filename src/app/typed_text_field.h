#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string>

#include "base/cp932_text.h"

class QWidget;

namespace velmarin::app {

// The code page 932 value of a text typed into `field`, or nullopt after a message box that
// says why it cannot be stored (a character code page 932 cannot write, or more than
// `max_bytes` bytes); the focus then goes to `field`. Nothing is stored mangled or cut.
std::optional<Cp932Text> TypedFieldValue(QWidget& field, const QString& text,
                                         std::size_t max_bytes);
// The same value stored in `into`; false after the message box (`into` keeps its value).
bool TakeTypedField(QWidget& field, const QString& text, std::size_t max_bytes, Cp932Text& into);

}  // namespace velmarin::app
