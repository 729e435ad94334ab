#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/cp932_text.h"
#include "settings/typed_text.h"

namespace velmarin {

// CaptureId holds at most this many bytes of code page 932 (a Japanese character takes two).
inline constexpr std::size_t kCaptureIdMaxBytes = 10;

// An ID as a user or another program gives it (UTF-8: the keypad's field, --id, the session
// bus) as the CaptureId it becomes: "0" when empty. nullopt with `error` when it has a
// character code page 932 cannot write or is longer than kCaptureIdMaxBytes in it; such an ID
// is refused whole, never cut.
std::optional<Cp932Text> CaptureIdFromTyped(std::string_view utf8, TypedTextError* error);

// Why an ID was refused, for the command line and the bus (English).
std::string CaptureIdRefusal(TypedTextError error);

}  // namespace velmarin
