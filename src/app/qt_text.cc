#include "app/qt_text.h"

#include "platform/encoding.h"

namespace velmarin::app {

QString FromCp932(std::string_view cp932) {
  return QString::fromStdString(Cp932ToUtf8Replacing(cp932));
}

}  // namespace velmarin::app
