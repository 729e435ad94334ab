#pragma once

#include <string>
#include <vector>

namespace velmarin {

// The full name (FC_FULLNAME) of every installed font, UTF-8, in fontconfig's enumeration
// order, fonts installed since the last call included. Of the names of one font the Japanese
// one is taken when there is one, as the stamp font names of the capture stations are, else
// the first.
std::vector<std::string> EnumerateFontFullNames();

}  // namespace velmarin
