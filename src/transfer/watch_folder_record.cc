#include "transfer/watch_folder_record.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/state_fields.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "velmarin watch 1";
constexpr std::string_view kEnd = "end ";
// The step of the coarsest clock a watch folder's file system may keep (FAT: 2 s).
constexpr std::int64_t kCoarseClockNs = 2'000'000'000;
// A record longer than this was not written by this program.
constexpr std::uintmax_t kMaxBytes = 64 * 1024 * 1024;

}  // namespace

namespace {

// The time a record goes by: a file dated in the future counts as written now.
std::int64_t TimeOf(std::int64_t modified_ns, std::int64_t now_ns) {
  return std::min(modified_ns, now_ns);
}

}  // namespace

void WatchFolderRecord::Reset(const fs::path& folder, const std::vector<DirectoryEntry>& entries,
                              std::int64_t now_ns) {
  folder_ = folder;
  newest_ns_ = 0;
  recent_.clear();
  for (const DirectoryEntry& entry : entries) {
    newest_ns_ = std::max(newest_ns_, TimeOf(entry.modified_ns, now_ns));
  }
  for (const DirectoryEntry& entry : entries) Saw(entry, now_ns);
  ++changes_;
}

void WatchFolderRecord::Saw(const DirectoryEntry& entry, std::int64_t now_ns) {
  const std::int64_t time = TimeOf(entry.modified_ns, now_ns);
  if (time + kCoarseClockNs < newest_ns_) return;
  const Still still{entry.name, entry.size, entry.modified_ns};
  const auto known = recent_.find(entry.name);
  if (known != recent_.end() && known->second == still) return;
  if (time > newest_ns_) {
    newest_ns_ = time;
    std::erase_if(recent_, [&](const auto& old) {
      return TimeOf(old.second.modified_ns, newest_ns_) + kCoarseClockNs < newest_ns_;
    });
  }
  recent_.insert_or_assign(entry.name, still);
  ++changes_;
}

bool WatchFolderRecord::SavedLater(const DirectoryEntry& entry) const {
  if (entry.modified_ns + kCoarseClockNs < newest_ns_) return false;
  const auto seen = recent_.find(entry.name);
  return seen == recent_.end() ||
         !(seen->second == Still{entry.name, entry.size, entry.modified_ns});
}

void WatchFolderRecord::SetCaptureId(Cp932Text id) {
  if (id == capture_id_) return;
  capture_id_ = std::move(id);
  ++changes_;
}

std::string WatchFolderRecord::Text() const {
  std::string text(kHeader);
  text += "\nfolder\t" + EscapeField(folder_.string()) + "\nid\t" +
          EscapeField(capture_id_.view()) + "\nnewest\t" + std::to_string(newest_ns_) + "\n";
  std::vector<const Still*> stills;
  for (const auto& [name, still] : recent_) stills.push_back(&still);
  std::ranges::sort(stills, {}, &Still::name);
  for (const Still* still : stills) {
    text += "still\t" + EscapeField(still->name) + "\t" + std::to_string(still->size) + "\t" +
            std::to_string(still->modified_ns) + "\n";
  }
  text += std::string(kEnd) + std::to_string(stills.size()) + "\n";
  return text;
}

std::optional<WatchFolderRecord> WatchFolderRecord::Parse(std::string_view text,
                                                          std::string* error) {
  auto lines = SplitFields(text, '\n');
  if (lines.size() < 6 || !lines.back().empty() || lines.front() != kHeader) {
    *error = "not a record of this program, or cut short";
    return std::nullopt;
  }
  lines.pop_back();
  const auto field = [&](std::size_t index, std::string_view name) -> std::optional<std::string> {
    const auto fields = SplitFields(lines[index], '\t');
    if (fields.size() != 2 || fields[0] != name) return std::nullopt;
    return UnescapeField(fields[1]);
  };
  const auto folder = field(1, "folder");
  const auto id = field(2, "id");
  const auto newest = field(3, "newest");
  const auto newest_ns = newest ? NumberField<std::int64_t>(*newest) : std::nullopt;
  const std::string_view last = lines.back();
  const auto count =
      last.starts_with(kEnd) ? NumberField<std::size_t>(last.substr(kEnd.size())) : std::nullopt;
  if (!folder || !id || !newest_ns || !fs::path(*folder).is_absolute() || !count ||
      *count != lines.size() - 5) {
    *error = "its head or end line is damaged";
    return std::nullopt;
  }
  WatchFolderRecord record;
  record.folder_ = *folder;
  record.capture_id_ = Cp932Text(*id);
  record.newest_ns_ = *newest_ns;
  for (std::size_t i = 4; i + 1 < lines.size(); ++i) {
    const auto fields = SplitFields(lines[i], '\t');
    const auto name =
        fields.size() == 4 && fields[0] == "still" ? UnescapeField(fields[1]) : std::nullopt;
    const auto size = fields.size() == 4 ? NumberField<std::uint64_t>(fields[2]) : std::nullopt;
    const auto modified = fields.size() == 4 ? NumberField<std::int64_t>(fields[3]) : std::nullopt;
    if (!name || name->empty() || !size || !modified) {
      *error = "line " + std::to_string(i + 1) + " is damaged";
      return std::nullopt;
    }
    record.recent_.insert_or_assign(*name, Still{*name, *size, *modified});
  }
  return record;
}

std::optional<WatchFolderRecord> ReadWatchFolderRecord(const ProgramDir& program_dir) {
  const fs::path file = program_dir.path / kWatchRecordFileName;
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec || size > kMaxBytes) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  std::string error;
  return WatchFolderRecord::Parse(text.str(), &error);
}

bool WriteWatchFolderRecord(const ProgramDir& program_dir, const WatchFolderRecord& record) {
  AtomicFile out(program_dir.path / kWatchRecordFileName);
  return out.created() && WriteAll(out.fd(), record.Text()) &&
         out.Commit(FileSync::kNotSynced) == AtomicFile::Step::kNone;
}

void RemoveWatchFolderRecord(const ProgramDir& program_dir) {
  std::error_code ec;
  fs::remove(program_dir.path / kWatchRecordFileName, ec);
}

}  // namespace velmarin
