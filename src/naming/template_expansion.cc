#include "naming/template_expansion.h"

#include <algorithm>
#include <cstdio>

#include "base/cp932_search.h"
#include "base/replace_all.h"

namespace velmarin {
namespace {

// Width used when the first "$i" is not followed by two digits.
constexpr int kUndecidedIdWidth = 10;

std::string FormatNumber(const char* format, int value) {
  char buffer[16];  // an int with sign and padding fits
  const int length = std::snprintf(buffer, sizeof buffer, format, value);
  return std::string(buffer, static_cast<std::size_t>(std::max(length, 0)));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 0 without "$i"; the two digits behind the first "$i"; else 10.
int IdWidth(std::string_view templ) {
  const std::size_t pos = templ.find("$i");
  if (pos == std::string_view::npos) return 0;
  if (pos + 3 < templ.size() && IsDigit(templ[pos + 2]) && IsDigit(templ[pos + 3])) {
    return (templ[pos + 2] - '0') * 10 + (templ[pos + 3] - '0');
  }
  return kUndecidedIdWidth;
}

// Cuts the ID to `width` bytes, never inside a two-byte character (the name would not convert
// and every image of the ID would fail), then pads a numeric ID with leading zeros and any other ID
// with trailing underscores.
std::string FitId(std::string_view id, int width) {
  if (width == 0) return std::string(id);
  const auto size = static_cast<std::size_t>(width);
  std::string fitted(CutCp932(id, size));
  const bool numeric = std::all_of(fitted.begin(), fitted.end(), IsDigit);
  if (numeric) {
    fitted.insert(0, size - fitted.size(), '0');
  } else {
    fitted.append(size - fitted.size(), '_');
  }
  return fitted;
}

}  // namespace

Cp932Text ExpandTemplate(const Cp932Text& id, const Cp932Text& templ, const LocalTime& now) {
  const int width = IdWidth(templ.view());
  std::string text(templ.bytes());
  ReplaceAll(text, "$i" + FormatNumber("%02d", width), FitId(id.view(), width));
  // The date passes run after the ID pass, so an ID holding "$y" gets the year as well.
  ReplaceAll(text, "$y", FormatNumber("%04d", now.year));
  ReplaceAll(text, "$M", FormatNumber("%02d", now.month));
  ReplaceAll(text, "$d", FormatNumber("%02d", now.day));
  ReplaceAll(text, "$h", FormatNumber("%02d", now.hour));
  ReplaceAll(text, "$m", FormatNumber("%02d", now.minute));
  ReplaceAll(text, "$s", FormatNumber("%02d", now.second));
  return Cp932Text(std::move(text));
}

}  // namespace velmarin
