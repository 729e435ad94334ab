#include "transfer/still_journal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/journal_fields.h"
#include "base/unique_fd.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "velmarin journal 1";
constexpr std::string_view kEnd = "end ";
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
  std::string text(kHeader);
  text += '\n';
  std::size_t count = 0;
  for (const ArrivedStill* still : stills) {
    if (count == StillJournal::kMaxStills) break;
    const LocalTime& clock = still->binding.clock;
    text += EscapeField(still->path.string());
    for (const long long value :
         {static_cast<long long>(still->identity.inode),
          static_cast<long long>(still->identity.birth_time_ns),
          static_cast<long long>(still->creation_time_ns), static_cast<long long>(clock.year),
          static_cast<long long>(clock.month), static_cast<long long>(clock.day),
          static_cast<long long>(clock.hour), static_cast<long long>(clock.minute),
          static_cast<long long>(clock.second)}) {
      text += '\t';
      text += std::to_string(value);
    }
    text += '\t';
    text += EscapeField(still->binding.capture_id.view());
    text += '\n';
    ++count;
  }
  text += kEnd;
  text += std::to_string(count);
  text += '\n';
  return text;
}

std::optional<std::vector<ArrivedStill>> ParseJournal(std::string_view text,
                                                      const Settings& settings,
                                                      std::string* error) {
  auto lines = SplitFields(text, '\n');
  // The text ends with a line end, so the last piece is empty.
  if (lines.size() < 3 || !lines.back().empty() || lines.front() != kHeader) {
    *error = "not a journal of this program, or cut short";
    return std::nullopt;
  }
  lines.pop_back();
  const std::string_view last = lines.back();
  const auto count =
      last.starts_with(kEnd) ? FieldNumber<std::size_t>(last.substr(kEnd.size())) : std::nullopt;
  if (!count || *count != lines.size() - 2 || *count > StillJournal::kMaxStills) {
    *error = "its end line is missing or does not match";
    return std::nullopt;
  }
  std::vector<ArrivedStill> stills;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    auto still = ParseLine(lines[i], settings);
    if (!still) {
      *error = "line " + std::to_string(i + 1) + " is damaged";
      return std::nullopt;
    }
    stills.push_back(std::move(*still));
  }
  return stills;
}

bool StillJournal::Write(const std::vector<const ArrivedStill*>& stills) const {
  if (stills.empty()) {
    std::error_code ec;
    fs::remove(file_, ec);
    return !ec;
  }
  const std::string text = JournalText(stills);
  AtomicFile out(file_);
  if (!out.created()) return false;
  if (!WriteAll(out.fd(), text)) return false;
  return out.Commit(FileSync::kSynced) == AtomicFile::Step::kNone;
}

std::vector<ArrivedStill> ReplayJournal(const ProgramDir& program_dir, const Settings& settings,
                                        const std::function<void(std::string_view)>& report) {
  const fs::path file = program_dir.path / kJournalFileName;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(file, ec))) return {};
  std::string error;
  std::optional<std::vector<ArrivedStill>> stills;
  const auto size = fs::file_size(file, ec);
  if (ec) {
    error = ec.message();
  } else if (size > kMaxBytes) {
    error = "it is larger than a journal can be";
  } else if (std::ifstream in(file, std::ios::binary); !in) {
    error = ErrnoText(errno);
  } else {
    std::ostringstream text;
    text << in.rdbuf();
    stills = ParseJournal(text.str(), settings, &error);
  }
  if (!stills) {
    fs::path aside = file;
    aside += ".damaged";
    fs::rename(file, aside, ec);
    report("the journal " + file.string() + " cannot be read (" + error + "); " +
           (ec ? "it could not be set aside: " + ec.message()
               : "it was set aside as " + aside.string()) +
           ", and the stills it named count as present before");
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
