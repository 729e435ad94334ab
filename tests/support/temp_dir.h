#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);
// The names in `folder`, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);
// Gives `path` (not what a link points to) the time of a write long ago, as a killed run's
// leftover has.
void Age(const std::filesystem::path& path);

}  // namespace velmarin::test
