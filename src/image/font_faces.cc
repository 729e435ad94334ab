#include "image/font_faces.h"

namespace velmarin {
namespace {

struct FaceSubstitute {
  std::string_view windows_face;  // UTF-8
  const char* family;
};
constexpr FaceSubstitute kFaceSubstitutes[] = {
    {"ＭＳ 明朝", "IPAMincho"},       {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"ＭＳ ゴシック", "IPAGothic"},   {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"HG創英角ｺﾞｼｯｸUB", "IPAGothic"},
};

}  // namespace

std::optional<QString> SubstituteFamily(std::string_view windows_face_utf8) {
  for (const FaceSubstitute& substitute : kFaceSubstitutes) {
    if (windows_face_utf8 == substitute.windows_face) {
      return QString::fromLatin1(substitute.family);
    }
  }
  return std::nullopt;
}

QString FaceFamily(std::string_view windows_face_utf8) {
  return SubstituteFamily(windows_face_utf8)
      .value_or(QString::fromUtf8(windows_face_utf8.data(),
                                  static_cast<qsizetype>(windows_face_utf8.size())));
}

}  // namespace velmarin
