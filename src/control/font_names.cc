#include "control/font_names.h"

#include "platform/encoding.h"

namespace velmarin {

std::vector<std::string> SkipRepeatedFontNames(const std::vector<std::string>& enumerated,
                                               std::string& last_name, std::size_t limit) {
  std::vector<std::string> kept;
  for (const std::string& name : enumerated) {
    if (kept.size() >= limit) break;
    if (last_name.find(name) != std::string::npos) continue;
    last_name = name;
    kept.push_back(name);
  }
  return kept;
}

void FontNameList::Collect(const std::vector<std::string>& names_utf8) {
  std::vector<std::string> usable;
  for (const std::string& name : names_utf8) {
    std::optional<Cp932Text> cp932 = Utf8ToCp932(name);
    if (!cp932 || cp932->size() > kMaxFontNameBytes ||
        cp932->view().find('\0') != std::string_view::npos) {
      continue;
    }
    usable.push_back(cp932->bytes());
  }
  names_ = SkipRepeatedFontNames(usable, last_name_, kMaxFontNames);
}

}  // namespace velmarin
