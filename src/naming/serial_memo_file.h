#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folder_stamp.h"

namespace velmarin {

// Where a serial search may start (SerialMemo), kept between processes so that a new one (a
// "--next-name", a station's first still after a restart) need not list the folder again.
struct SavedSerialStart {
  FolderStamp stamp;  // the folder's, as the start holds for it
  std::string key;    // the pattern of the names, any bytes
  int start = 1;
  std::int64_t listed_ns = 0;  // wall clock of the listing the start came from

  bool operator==(const SavedSerialStart&) const = default;
};

// $XDG_CACHE_HOME/velmarin/serials, else ~/.cache/velmarin/serials: derivable data, whose
// loss costs one listing of a folder.
std::filesystem::path SerialMemoFilePath();

// The file's text: a version line, then one tab-separated line a start (device, inode,
// modification and change time, start, listing time, escaped key).
std::string FormatSerialStarts(const std::vector<SavedSerialStart>& starts);
// The starts of `text`; nullopt for a damaged, cut or unknown-version text, or one of more
// than `max_starts` lines, which is ignored as a whole.
std::optional<std::vector<SavedSerialStart>> ParseSerialStarts(std::string_view text,
                                                               std::size_t max_starts);

// The starts kept in `file`; none when it is missing, unreadable, oversized or damaged.
std::vector<SavedSerialStart> ReadSerialStarts(const std::filesystem::path& file,
                                               std::size_t max_starts);
// Replaces `file` with `starts` (not synced); its folder is made for this user alone. A
// failure is silent: the next process lists the folder.
void WriteSerialStarts(const std::filesystem::path& file,
                       const std::vector<SavedSerialStart>& starts);

}  // namespace velmarin
