#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace velmarin::test {

// The executable `name` in a folder of PATH, or nullopt when it is not installed.
std::optional<std::filesystem::path> FindProgramOnPath(std::string_view name);

}  // namespace velmarin::test
