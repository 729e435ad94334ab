#pragma once

#include <QString>

#include "base/cp932_text.h"

namespace velmarin::app {

// A code page 932 text of the program as a Qt string. A character that is not code page 932
// (a value from a foreign file) shows as "?" rather than the whole text not at all.
QString FromCp932(const Cp932Text& text);

}  // namespace velmarin::app
