#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin {

// The family (FC_FAMILY) of the installed fonts, each once, UTF-8, in fontconfig's enumeration
// order, fonts installed since the last call included: one entry per family as Windows
// enumerates font families, not one per face and file ("C059 Bold", "C059-Bold" ...). Of the
// names of a family the Japanese one is taken when there is one, as the stamp font names of
// the capture stations are, else the first (the typographic family, not a style-linked one
// such as "DejaVu Sans Condensed").
std::vector<std::string> EnumerateFontFamilies();

// The family and style (UTF-8) of the installed font with the full name `full_name` in any of
// its languages, so that a name from the list finds its own face ("DejaVu Sans Bold" is the
// style Bold of the family DejaVu Sans). nullopt when no font has that full name.
struct FontFace {
  std::string family;
  std::string style;
};
std::optional<FontFace> FindFontByFullName(std::string_view full_name);

}  // namespace velmarin
