#include "control/capture_id.h"

namespace velmarin {

std::optional<Cp932Text> CaptureIdFromTyped(std::string_view utf8, TypedTextError* error) {
  std::optional<Cp932Text> id = TypedTextToCp932(utf8, kCaptureIdMaxBytes, error);
  if (id && id->empty()) return Cp932Text("0");
  return id;
}

std::string CaptureIdRefusal(TypedTextError error) {
  if (error == TypedTextError::kNotCp932) return "the ID has characters outside code page 932";
  return "the ID is longer than " + std::to_string(kCaptureIdMaxBytes) + " bytes in code page 932";
}

}  // namespace velmarin
