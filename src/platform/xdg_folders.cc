#include "platform/xdg_folders.h"

#include <cstdlib>

namespace velmarin {

std::filesystem::path XdgBaseFolder(const char* variable, const char* fallback) {
  const char* named = std::getenv(variable);
  if (named != nullptr && named[0] == '/') return named;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : "") / fallback;
}

}  // namespace velmarin
