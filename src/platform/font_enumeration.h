#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin {

// The full name (FC_FULLNAME) of every installed font, UTF-8, in fontconfig's enumeration
// order, fonts installed since the last call included. Of the names of one font the Japanese
// one is taken when there is one, as the stamp font names of the capture stations are, else
// the first.
std::vector<std::string> EnumerateFontFullNames();

// The family and style (UTF-8) of the installed font with the full name `full_name` in any of
// its languages, so that a name from the list finds its own face ("DejaVu Sans Bold" is the
// style Bold of the family DejaVu Sans). nullopt when no font has that full name.
struct FontFace {
  std::string family;
  std::string style;
};
std::optional<FontFace> FindFontByFullName(std::string_view full_name);

}  // namespace velmarin
