#include "base/replace_all.h"

namespace velmarin {

std::size_t ReplaceAll(std::string& text, std::string_view pattern, std::string_view replacement) {
  if (pattern.empty()) return 0;  // an empty pattern would match everywhere, forever
  std::size_t count = 0;
  std::size_t pos = 0;
  while ((pos = text.find(pattern, pos)) != std::string::npos) {
    text.replace(pos, pattern.size(), replacement);
    pos += replacement.size();
    ++count;
  }
  return count;
}

}  // namespace velmarin
