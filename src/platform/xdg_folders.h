#pragma once

#include <filesystem>

namespace velmarin {

// The folder an XDG base-directory variable (XDG_CONFIG_HOME, XDG_STATE_HOME, XDG_CACHE_HOME)
// names when it holds an absolute path, else `fallback` (".cache") in the home folder.
std::filesystem::path XdgBaseFolder(const char* variable, const char* fallback);

}  // namespace velmarin
