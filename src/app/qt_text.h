#pragma once

#include <QString>

#include <string_view>

namespace velmarin::app {

// A code page 932 text of the program as a Qt string. Bytes that are not code page 932 (a
// value from a foreign file) show as Latin-1 rather than not at all.
QString FromCp932(std::string_view cp932);

}  // namespace velmarin::app
