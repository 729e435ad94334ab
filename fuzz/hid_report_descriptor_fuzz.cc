// Report descriptors come from the kernel, which takes them from the device as it sends them.
#include <cstddef>
#include <cstdint>

#include "platform/hid_report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto layout = velmarin::ParseHidReportLayout({data, size});
  if (layout && (layout->input_report_length < 0 || layout->output_report_length < 0)) {
    __builtin_trap();
  }
  return 0;
}
