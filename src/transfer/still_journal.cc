#include "transfer/still_journal.h"

#include <climits>

#include "base/journal_fields.h"
#include "base/line_journal.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "velmarin journal 1";
constexpr std::size_t kFields = 11;
// A journal longer than this was not written by this program: kMaxStills lines of a path of
// at most PATH_MAX bytes and their numbers.
constexpr std::uintmax_t kMaxBytes = StillJournal::kMaxStills * (PATH_MAX + 256);

std::optional<ArrivedStill> ParseLine(std::string_view line, const Settings& settings) {
  const auto fields = SplitFields(line, '\t');
  if (fields.size() != kFields) return std::nullopt;
  const auto path = UnescapeField(fields[0]);
  const auto inode = FieldNumber<std::uint64_t>(fields[1]);
  const auto birth = FieldNumber<std::int64_t>(fields[2]);
  const auto created = FieldNumber<std::int64_t>(fields[3]);
  int clock[6] = {};
  for (int i = 0; i < 6; ++i) {
    const auto value = FieldNumber<int>(fields[4 + static_cast<std::size_t>(i)]);
    if (!value) return std::nullopt;
    clock[i] = *value;
  }
  const auto id = UnescapeField(fields[10]);
  if (!path || !inode || !birth || !created || !id || !fs::path(*path).is_absolute() ||
      !fs::path(*path).has_filename() || id->size() > 10 || clock[1] < 1 || clock[1] > 12 ||
      clock[2] < 1 || clock[2] > 31 || clock[3] < 0 || clock[3] > 23 || clock[4] < 0 ||
      clock[4] > 59 || clock[5] < 0 || clock[5] > 60) {
    return std::nullopt;
  }
  ArrivedStill still;
  still.path = *path;
  still.identity = {still.path.filename().string(), *inode, *birth};
  still.creation_time_ns = *created;
  still.binding = {
      Cp932Text(*id), {clock[0], clock[1], clock[2], clock[3], clock[4], clock[5]}, settings};
  return still;
}

}  // namespace

std::string JournalText(const std::vector<const ArrivedStill*>& stills) {
  std::vector<std::string> lines;
  for (const ArrivedStill* still : stills) {
    if (lines.size() == StillJournal::kMaxStills) break;
    const LocalTime& clock = still->binding.clock;
    std::string line = EscapeField(still->path.string());
    for (const long long value :
         {static_cast<long long>(still->identity.inode),
          static_cast<long long>(still->identity.birth_time_ns),
          static_cast<long long>(still->creation_time_ns), static_cast<long long>(clock.year),
          static_cast<long long>(clock.month), static_cast<long long>(clock.day),
          static_cast<long long>(clock.hour), static_cast<long long>(clock.minute),
          static_cast<long long>(clock.second)}) {
      line += '\t' + std::to_string(value);
    }
    line += '\t' + EscapeField(still->binding.capture_id.view());
    lines.push_back(std::move(line));
  }
  return JournalDocument(kHeader, lines);
}

std::optional<std::vector<ArrivedStill>> ParseJournal(std::string_view text,
                                                      const Settings& settings,
                                                      std::string* error) {
  return ParseJournalEntries<ArrivedStill>(
      text, kHeader, StillJournal::kMaxStills,
      [&settings](std::string_view line) { return ParseLine(line, settings); }, error);
}

bool StillJournal::Write(const std::vector<const ArrivedStill*>& stills) const {
  return WriteJournalFile(file_, stills.empty() ? std::string() : JournalText(stills));
}

std::vector<ArrivedStill> ReplayJournal(const ProgramDir& program_dir, const Settings& settings,
                                        const std::function<void(std::string_view)>& report) {
  const fs::path file = program_dir.path / kJournalFileName;
  std::string error;
  const auto text = ReadJournalFile(file, kMaxBytes, &error);
  if (!text && error.empty()) return {};
  auto stills = text ? ParseJournal(*text, settings, &error) : std::nullopt;
  if (!stills) {
    report("the journal " + file.string() + " cannot be read (" + error + "); " +
           SetJournalAside(file) + ", and the stills it named count as present before");
    return {};
  }
  std::vector<ArrivedStill> present;
  for (ArrivedStill& still : *stills) {
    const auto entry = QueryDirectoryEntry(still.path.parent_path(), still.identity.name);
    if (entry && entry->regular_file && IdentityOf(*entry) == still.identity) {
      present.push_back(std::move(still));
    }
  }
  return present;
}

}  // namespace velmarin
