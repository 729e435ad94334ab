#pragma once

#include <QString>

#include <optional>
#include <string_view>

namespace velmarin {

// The installed font that stands in for a Windows face of the capture stations ("ＭＳ Ｐゴシック"
// -> IPAPGothic, ...), or nullopt for a name without one. Those faces have a cell exactly one
// em high (ascent plus descent); their stand-ins are drawn the same way.
std::optional<QString> SubstituteFamily(std::string_view windows_face_utf8);

// The family to ask for: the substitute when there is one, else the name itself (fontconfig
// chooses the nearest installed font).
QString FaceFamily(std::string_view windows_face_utf8);

}  // namespace velmarin
