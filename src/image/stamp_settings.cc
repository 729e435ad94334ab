#include "image/stamp_settings.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "base/cp932_search.h"
#include "base/scanf_reader.h"

namespace velmarin {
namespace {

constexpr std::string_view kComma = ",";

// The stamp text of a group that starts at the front of `group`: the fourth field from its
// first non-blank byte up to the next comma.
std::string StampText(std::string_view group) {
  std::string_view field = group.substr(*MbsSkipOccurrences(group, kComma, 3));
  const std::size_t first = field.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  field.remove_prefix(first);
  return std::string(field.substr(0, MbsFind(field, kComma).value_or(field.size())));
}

}  // namespace

std::optional<std::uint32_t> ParseColorValue(std::string_view text) {
  const auto value = ScanfReader(text).Hexadecimal();
  if (!value) return std::nullopt;
  return *value & 0xFFFFFFu;
}

std::optional<SourceRect> ParseSourceRange(std::string_view text) {
  if (MbsCount(text, kComma) <= 2) return std::nullopt;
  ScanfReader scan(text);
  const auto x1 = scan.Decimal();
  if (!x1 || !scan.Literal(',')) return std::nullopt;
  const auto y1 = scan.Decimal();
  if (!y1 || !scan.Literal(',')) return std::nullopt;
  const auto x2 = scan.Decimal();
  if (!x2 || !scan.Literal(',')) return std::nullopt;
  const auto y2 = scan.Decimal();
  if (!y2) return std::nullopt;
  return SourceRect{*x1, *y1, *x2, *y2};
}

std::vector<Stamp> ParseTextLines(const Cp932Text& text_lines) {
  std::vector<Stamp> stamps;
  std::string_view rest = text_lines.view();
  while (MbsCount(rest, kComma) > 2) {
    ScanfReader scan(rest);
    const auto size = scan.Decimal();
    const bool size_ok = size && scan.Literal(',');
    const auto x = size_ok ? scan.Decimal() : std::nullopt;
    const bool x_ok = x && scan.Literal(',');
    const auto y = x_ok ? scan.Decimal() : std::nullopt;
    if (y) stamps.push_back(Stamp{*size, *x, *y, Cp932Text(StampText(rest))});
    const auto next = MbsSkipOccurrences(rest, kComma, 4);
    if (!next) break;
    rest.remove_prefix(*next);
  }
  return stamps;
}

int StampPixelSize(int size) {
  // MulDiv(size, 96, 720): the exact quotient rounded half away from zero.
  const long long product = static_cast<long long>(size) * 96;
  const long long half = product < 0 ? -360 : 360;
  return static_cast<int>(std::min<long long>((product + half) / 720, kMaxStampPixelSize));
}

long long CountFromEdge(int value, int extent) {
  return value < 0 ? static_cast<long long>(extent) + value : value;
}

std::vector<RowSpan> StampRowSpans(const Cp932Text& text_lines, int height) {
  std::vector<RowSpan> spans;
  for (const Stamp& stamp : ParseTextLines(text_lines)) {
    const long long size = StampPixelSize(stamp.size);
    if (size < 1 || stamp.text.empty()) continue;
    const long long top = CountFromEdge(stamp.y, height);
    const long long first = std::max(top - 2 * size - 2, 0LL);
    const long long last = std::min(top + 4 * size + 2, static_cast<long long>(height));
    if (first < last) spans.push_back({static_cast<int>(first), static_cast<int>(last)});
  }
  std::sort(spans.begin(), spans.end(),
            [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
  std::vector<RowSpan> merged;
  for (const RowSpan& span : spans) {
    if (!merged.empty() && span.first <= merged.back().last) {
      merged.back().last = std::max(merged.back().last, span.last);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

}  // namespace velmarin
