#pragma once

#include <string>
#include <system_error>

namespace velmarin {

// The system's text for the errno value `error`.
inline std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace velmarin
