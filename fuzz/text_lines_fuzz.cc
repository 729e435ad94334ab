// Reads any bytes as the TextLines, SourceRange, colour and quality settings, and checks
// what the stamp parsing and the naming dialog's one-stamp-per-line form promise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/cp932_search.h"
#include "base/scanf_reader.h"
#include "control/text_lines_edit.h"
#include "image/stamp_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const velmarin::Cp932Text text(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const velmarin::Stamp& stamp : velmarin::ParseTextLines(text)) {
    // A stamp text never holds a comma, never starts with a blank and is part of the input.
    const std::string_view stamp_text = stamp.text.view();
    if (velmarin::MbsFind(stamp_text, ",").has_value()) std::abort();
    if (!stamp_text.empty() && (stamp_text[0] == ' ' || stamp_text[0] == '\t')) std::abort();
    if (stamp.text.size() > size) std::abort();
    (void)velmarin::StampPixelSize(stamp.size);
  }
  // Row spans of a 480-row picture: sorted, apart from each other, inside the picture.
  int previous_last = -1;
  for (const velmarin::RowSpan& span : velmarin::StampRowSpans(text, 480)) {
    if (span.first <= previous_last || span.first < 0 || span.last > 480) std::abort();
    if (span.first >= span.last) std::abort();
    previous_last = span.last;
  }
  (void)velmarin::ParseSourceRange(text.view());
  if (const auto color = velmarin::ParseColorValue(text.view()); color && *color > 0xFFFFFFu) {
    std::abort();
  }
  (void)velmarin::ScanDecimal(text.view());
  // Without line breaks of its own, a value split into lines and joined again is a front of
  // itself: nothing is invented, only a short final piece dropped.
  const std::string lines = velmarin::SplitTextLines(text.view());
  if (text.view().find('\n') == std::string_view::npos &&
      !text.view().starts_with(velmarin::JoinTextLines(lines))) {
    std::abort();
  }
  return 0;
}
