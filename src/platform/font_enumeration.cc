#include "platform/font_enumeration.h"

#include <fontconfig/fontconfig.h>

#include <cstring>
#include <unordered_set>

#include "base/c_handle.h"

namespace velmarin {
namespace {

using Pattern = CHandle<FcPattern, FcPatternDestroy>;
using ObjectSet = CHandle<FcObjectSet, FcObjectSetDestroy>;
using FontSet = CHandle<FcFontSet, FcFontSetDestroy>;

const char* AsText(const FcChar8* text) { return reinterpret_cast<const char*>(text); }

// The Japanese family name of `font`, else its first; empty when it has none.
std::string PreferredFamily(FcPattern* font) {
  FcChar8* first = nullptr;
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (i == 0) first = name;
    FcChar8* lang = nullptr;
    if (FcPatternGetString(font, FC_FAMILYLANG, i, &lang) == FcResultMatch &&
        std::strcmp(AsText(lang), "ja") == 0) {
      return AsText(name);
    }
  }
  return first != nullptr ? AsText(first) : std::string();
}

std::string FirstString(FcPattern* font, const char* object) {
  FcChar8* value = nullptr;
  return FcPatternGetString(font, object, 0, &value) == FcResultMatch ? AsText(value)
                                                                      : std::string();
}

}  // namespace

std::vector<std::string> EnumerateFontFamilies() {
  std::vector<std::string> names;
  if (FcInitBringUptoDate() == FcFalse) return names;
  const Pattern all(FcPatternCreate());
  const ObjectSet fields(FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, nullptr));
  if (!all || !fields) return names;
  const FontSet fonts(FcFontList(nullptr, all.get(), fields.get()));
  if (!fonts) return names;
  std::unordered_set<std::string> listed;
  for (int i = 0; i < fonts->nfont; ++i) {
    std::string family = PreferredFamily(fonts->fonts[i]);
    if (listed.insert(family).second) names.push_back(std::move(family));
  }
  return names;
}

std::optional<FontFace> FindFontByFullName(std::string_view full_name) {
  if (full_name.empty()) return std::nullopt;
  const std::string name(full_name);
  const Pattern wanted(FcPatternCreate());
  const ObjectSet fields(FcObjectSetBuild(FC_FAMILY, FC_STYLE, nullptr));
  if (!wanted || !fields ||
      FcPatternAddString(wanted.get(), FC_FULLNAME,
                         reinterpret_cast<const FcChar8*>(name.c_str())) == FcFalse) {
    return std::nullopt;
  }
  const FontSet fonts(FcFontList(nullptr, wanted.get(), fields.get()));
  if (!fonts || fonts->nfont < 1) return std::nullopt;
  FontFace face{FirstString(fonts->fonts[0], FC_FAMILY), FirstString(fonts->fonts[0], FC_STYLE)};
  if (face.family.empty()) return std::nullopt;
  return face;
}

}  // namespace velmarin
