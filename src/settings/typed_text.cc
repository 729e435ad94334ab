#include "settings/typed_text.h"

#include "platform/encoding.h"

namespace velmarin {

std::optional<Cp932Text> TypedTextToCp932(std::string_view utf8, std::size_t max_bytes,
                                          TypedTextError* error) {
  std::optional<Cp932Text> cp932;
  if (utf8.find('\0') == std::string_view::npos) cp932 = Utf8ToCp932(utf8);
  if (!cp932) {
    if (error != nullptr) *error = TypedTextError::kNotCp932;
    return std::nullopt;
  }
  if (cp932->size() > max_bytes) {
    if (error != nullptr) *error = TypedTextError::kTooLong;
    return std::nullopt;
  }
  return cp932;
}

}  // namespace velmarin
