#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_naming.h"

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
  std::int64_t modified_ns = 0;  // the time of the last write; 0 when unknown
};

// The entries of `folder` ("." and ".." left out) in the order the file system lists them.
// nullopt when the folder cannot be opened.
std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::filesystem::path& folder);

// One name of a folder as the folder itself gives it (getdents), without a look at the file.
struct DirectoryName {
  std::string name;
  // The inode number the folder gives (d_ino); 0 where it gives none. File systems that make
  // numbers up (some FUSE ones) may give one number to every name.
  std::uint64_t inode = 0;
  bool maybe_regular = true;  // false when the folder says it is a folder, FIFO, device...
};

// Calls `visit` with each name of `folder` ("." and ".." left out), in the order the file
// system lists them, in one pass without a stat of any entry: a folder of 100,000 files is
// listed in a few milliseconds. False with errno set when the folder cannot be listed whole
// (a listing cut short would pass names that are there as missing).
bool ForEachName(const AtPath& folder, const std::function<void(const DirectoryName&)>& visit);

// ForEachName's names gathered; nullopt when the folder cannot be listed whole.
std::optional<std::vector<DirectoryName>> ListDirectoryNames(const AtPath& folder);

// The entries of `folder` named `names` that exist, queried as ListDirectory queries each,
// through one open of the folder. nullopt when the folder cannot be opened.
std::optional<std::vector<DirectoryEntry>> QueryDirectoryEntries(
    const std::filesystem::path& folder, const std::vector<std::string>& names);

// The entry `name` of `folder`, queried as ListDirectory queries each entry; nullopt when
// there is no such entry.
std::optional<DirectoryEntry> QueryDirectoryEntry(const std::filesystem::path& folder,
                                                  const std::string& name);

// Shell-style wildcard match ("*.jpg") that ignores the case of ASCII letters, as the
// folder listings of the capture station's file system did.
bool MatchesPatternIgnoringCase(std::string_view name, std::string_view pattern);

}  // namespace velmarin
