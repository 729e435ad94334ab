#include "control/text_lines_edit.h"

#include "base/cp932_search.h"
#include "base/replace_all.h"

namespace velmarin {

std::string SplitTextLines(std::string_view value) {
  std::string result;
  std::string_view rest = value;
  while (MbsCount(rest, ",") > 2) {
    const auto behind = MbsSkipOccurrences(rest, ",", 4);
    if (!behind) break;
    result.append(rest.substr(0, *behind - 1));
    result += "\r\n";
    rest.remove_prefix(*behind);
  }
  if (rest.size() > 5) result.append(rest);
  return result;
}

std::string JoinTextLines(std::string_view edit_text) {
  std::string value(edit_text);
  ReplaceAll(value, "\r\n", ",");
  ReplaceAll(value, "\n", ",");
  return value;
}

}  // namespace velmarin
