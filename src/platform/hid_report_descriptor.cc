#include "platform/hid_report_descriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace velmarin {
namespace {

struct GlobalItems {
  std::uint32_t report_size = 0;   // bits per field
  std::uint32_t report_count = 0;  // fields
  std::uint32_t report_id = 0;
};

// Short-item prefixes with the size bits cleared.
constexpr std::uint8_t kInput = 0x80;
constexpr std::uint8_t kOutput = 0x90;
constexpr std::uint8_t kReportSize = 0x74;
constexpr std::uint8_t kReportId = 0x84;
constexpr std::uint8_t kReportCount = 0x94;
constexpr std::uint8_t kPush = 0xA4;
constexpr std::uint8_t kPop = 0xB4;
constexpr std::uint8_t kLongItem = 0xFE;

// A descriptor can declare absurd sizes; bits are summed in 64 bits and capped at the end.
int ReportLength(const std::map<std::uint32_t, std::uint64_t>& bits_by_id) {
  std::uint64_t longest = 0;
  for (const auto& [id, bits] : bits_by_id) longest = std::max(longest, bits);
  if (longest == 0) return 0;
  const std::uint64_t bytes = (longest + 7) / 8 + 1;
  return static_cast<int>(std::min<std::uint64_t>(bytes, 65536));
}

}  // namespace

std::optional<HidReportLayout> ParseHidReportLayout(std::span<const std::uint8_t> descriptor) {
  GlobalItems globals;
  std::vector<GlobalItems> pushed;
  std::map<std::uint32_t, std::uint64_t> input_bits;
  std::map<std::uint32_t, std::uint64_t> output_bits;
  bool numbered = false;

  std::size_t pos = 0;
  while (pos < descriptor.size()) {
    const std::uint8_t prefix = descriptor[pos];
    if (prefix == kLongItem) {
      if (pos + 1 >= descriptor.size()) return std::nullopt;
      pos += 3 + descriptor[pos + 1];
      if (pos > descriptor.size()) return std::nullopt;
      continue;
    }
    const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
    if (pos + 1 + size > descriptor.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
      value |= static_cast<std::uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
    }
    pos += 1 + size;

    const std::uint64_t field_bits =
        static_cast<std::uint64_t>(globals.report_size) * globals.report_count;
    switch (prefix & 0xFC) {
      case kInput:
        input_bits[globals.report_id] += field_bits;
        break;
      case kOutput:
        output_bits[globals.report_id] += field_bits;
        break;
      case kReportSize:
        globals.report_size = value;
        break;
      case kReportCount:
        globals.report_count = value;
        break;
      case kReportId:
        globals.report_id = value;
        numbered = true;
        break;
      case kPush:
        pushed.push_back(globals);
        break;
      case kPop:
        if (pushed.empty()) return std::nullopt;
        globals = pushed.back();
        pushed.pop_back();
        break;
      default:
        break;
    }
  }
  return HidReportLayout{numbered, ReportLength(input_bits), ReportLength(output_bits)};
}

}  // namespace velmarin
