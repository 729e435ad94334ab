#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/cp932_text.h"
#include "platform/directory_listing.h"
#include "settings/program_dir.h"

namespace velmarin {

// What a run has seen of its watch folder, so that the next start can tell the stills saved
// while the program was not running: the folder, the ID in force, the latest write time of
// the stills it saw, and the stills written within a coarse clock's step of it (a still
// saved later may show the same time on such a file system). A still of the folder written
// after that time, and not one of those, was saved after the run. Small whatever the folder
// holds, so it is written whenever it changes; "velmarin.watch" in the program folder.
inline constexpr std::string_view kWatchRecordFileName = "velmarin.watch";

class WatchFolderRecord {
 public:
  struct Still {
    std::string name;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    bool operator==(const Still&) const = default;
  };

  // Starts over on `folder`, with the stills of `entries` (a listing) seen.
  void Reset(const std::filesystem::path& folder, const std::vector<DirectoryEntry>& entries,
             std::int64_t now_ns);
  // A still of the folder was seen, as `entry` shows it; `now_ns` is the wall clock, so a
  // file dated in the future cannot hide the stills saved after it.
  void Saw(const DirectoryEntry& entry, std::int64_t now_ns);
  // Whether the still `entry` of the folder was written after everything the record saw.
  bool SavedLater(const DirectoryEntry& entry) const;

  void SetCaptureId(Cp932Text id);
  const std::filesystem::path& folder() const { return folder_; }
  const Cp932Text& capture_id() const { return capture_id_; }
  // Increases whenever the record changes, so it is written only then.
  std::uint64_t changes() const { return changes_; }

  std::string Text() const;
  // The record a Text gave; nullopt with `error` when `text` is not a whole record.
  static std::optional<WatchFolderRecord> Parse(std::string_view text, std::string* error);

 private:
  std::filesystem::path folder_;
  Cp932Text capture_id_;
  std::int64_t newest_ns_ = 0;
  std::unordered_map<std::string, Still> recent_;  // written about newest_ns_, by name
  std::uint64_t changes_ = 0;
};

// The record of the last run in the program folder; nullopt when there is none or it does
// not parse (then it is not trusted).
std::optional<WatchFolderRecord> ReadWatchFolderRecord(const ProgramDir& program_dir);
// Replaces the record (not synced: a kill leaves it whole; a power cut may leave an older one).
bool WriteWatchFolderRecord(const ProgramDir& program_dir, const WatchFolderRecord& record);
// Monitoring was stopped on purpose: what is saved from now on is not the program's to take.
void RemoveWatchFolderRecord(const ProgramDir& program_dir);

}  // namespace velmarin
