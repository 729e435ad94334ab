#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace velmarin {

// What a HID report descriptor says about the report sizes: whether reports are numbered
// (a report-ID byte leads every report on the wire) and the longest input and output report
// in bytes, with one report-ID byte counted in either case, as the USB-IO layer sizes reports.
struct HidReportLayout {
  bool numbered = false;
  int input_report_length = 0;   // 0 when the descriptor declares no input report
  int output_report_length = 0;  // 0 when it declares no output report
};

// nullopt when the descriptor is cut short or malformed.
std::optional<HidReportLayout> ParseHidReportLayout(std::span<const std::uint8_t> descriptor);

}  // namespace velmarin
