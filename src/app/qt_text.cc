#include "app/qt_text.h"

#include "platform/encoding.h"

namespace velmarin::app {

QString FromCp932(const Cp932Text& text) {
  return QString::fromStdString(Cp932ToUtf8Replacing(text));
}

}  // namespace velmarin::app
