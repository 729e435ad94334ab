#include "app/qt_text.h"

#include "platform/encoding.h"

namespace velmarin::app {

QString FromCp932(std::string_view cp932) {
  if (const auto utf8 = Cp932ToUtf8(cp932)) return QString::fromStdString(*utf8);
  return QString::fromLatin1(cp932.data(), static_cast<qsizetype>(cp932.size()));
}

}  // namespace velmarin::app
