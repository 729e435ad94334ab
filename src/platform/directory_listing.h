#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmarin {

// One entry of a folder, found without opening it.
struct DirectoryEntry {
  std::string name;  // the bytes the file system gives, never converted
  // A regular file, or a symbolic link that leads to one. Folders, FIFOs, devices, sockets
  // and dangling links are not.
  bool regular_file = false;
  std::uint64_t size = 0;
  // Birth time where the file system records it, else the modification time; nanoseconds
  // since the epoch. 0 when the entry cannot be queried.
  std::int64_t creation_time_ns = 0;
  // The birth time alone: 0 where the file system keeps none.
  std::int64_t birth_time_ns = 0;
  std::uint64_t inode = 0;
  bool symbolic_link = false;  // the entry itself is a link (its target decides the rest)
  std::uint32_t link_count = 0;
};

// The entries of `folder` ("." and ".." left out) in the order the file system lists them.
// nullopt when the folder cannot be opened.
std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::filesystem::path& folder);

// Calls `visit` with each name in `folder` ("." and ".." left out), read in one pass without
// querying any entry, so a folder of many files costs one listing. False with errno set when
// the folder cannot be listed whole.
bool ForEachName(const std::filesystem::path& folder,
                 const std::function<void(std::string_view name)>& visit);

// The entry `name` of `folder`, queried as ListDirectory queries each entry; nullopt when
// there is no such entry.
std::optional<DirectoryEntry> QueryDirectoryEntry(const std::filesystem::path& folder,
                                                  const std::string& name);

// Shell-style wildcard match ("*.jpg") that ignores the case of ASCII letters, as the
// folder listings of the capture station's file system did.
bool MatchesPatternIgnoringCase(std::string_view name, std::string_view pattern);

}  // namespace velmarin
