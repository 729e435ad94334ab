// Feeds arbitrary bytes to the parsers of the user's velmarin.conf and of the system's
// keyboard file.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/keyboard_layout.h"
#include "settings/user_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const velmarin::UserConfig config = velmarin::ParseUserConfig(text, "velmarin.conf");
  if (config.dicom && (!velmarin::AeTitleProblem(config.dicom->called_ae).empty() ||
                       config.dicom->port < 1 || config.dicom->port > 65535)) {
    __builtin_trap();
  }
  for (const velmarin::OwnMessage& problem : config.problems) {
    if (problem.english.find("velmarin.conf") != 0 || problem.japanese.find("velmarin.conf") != 0) {
      __builtin_trap();
    }
  }
  if (velmarin::ParseKeyboardLayoutNames(text).layout.empty()) __builtin_trap();
  return 0;
}
