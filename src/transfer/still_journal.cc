#include "transfer/still_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/state_fields.h"
#include "base/unique_fd.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// The first form: every still between the header and "end N", written whole each time.
constexpr std::string_view kWholeHeader = "velmarin journal 1";
constexpr std::string_view kEnd = "end ";
// The log: records appended to a text written whole now and then.
constexpr std::string_view kLogHeader = "velmarin journal 2";
constexpr std::string_view kStill = "still";
constexpr std::string_view kClaim = "claim";
constexpr std::string_view kLeft = "left";
constexpr std::size_t kStillFields = 11;  // path, inode, birth, created, clock (6), ID
constexpr std::size_t kKeyFields = 3;     // path, inode, birth: which still a record is about
// The log is written whole again once it holds this many records more than twice its stills.
constexpr std::size_t kCompactionSlack = 256;

// Which still a record is about, as its records write it, into `key` (its room is used again).
void KeyInto(const fs::path& path, const StillIdentity& identity, std::string* key) {
  key->clear();
  AppendEscapedField(*key, path.native());
  for (const long long number :
       {static_cast<long long>(identity.inode), static_cast<long long>(identity.birth_time_ns)}) {
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    *key += '\t';
    key->append(digits, end);
  }
}
std::string KeyOf(const fs::path& path, const StillIdentity& identity) {
  std::string key;
  KeyInto(path, identity, &key);
  return key;
}
std::string KeyOf(const ArrivedStill& still) { return KeyOf(still.path, still.identity); }

std::string StillRecord(const ArrivedStill& still) {
  const LocalTime& clock = still.binding.clock;
  std::string record = std::string(kStill) + '\t' + KeyOf(still);
  for (const long long value :
       {static_cast<long long>(still.creation_time_ns), static_cast<long long>(clock.year),
        static_cast<long long>(clock.month), static_cast<long long>(clock.day),
        static_cast<long long>(clock.hour), static_cast<long long>(clock.minute),
        static_cast<long long>(clock.second)}) {
    record += '\t';
    record += std::to_string(value);
  }
  return record + '\t' + EscapeField(still.binding.capture_id.view()) + '\n';
}

std::string ClaimRecord(const ArrivedStill& still) {
  return std::string(kClaim) + '\t' + KeyOf(still) + '\t' +
         EscapeField(still.claimed->target.native()) + '\t' +
         EscapeField(still.claimed->content_hash) + '\n';
}

std::string LeftRecord(const std::string& key) { return std::string(kLeft) + '\t' + key + '\n'; }

bool IsUsableFile(const std::optional<std::string>& path) {
  return path && fs::path(*path).is_absolute() && fs::path(*path).has_filename();
}

// The path and identity a record's first fields name.
std::optional<std::pair<fs::path, StillIdentity>> KeyFields(
    const std::vector<std::string_view>& fields) {
  const auto path = UnescapeField(fields[0]);
  const auto inode = NumberField<std::uint64_t>(fields[1]);
  const auto birth = NumberField<std::int64_t>(fields[2]);
  if (!IsUsableFile(path) || !inode || !birth) return std::nullopt;
  const fs::path file(*path);
  return std::pair{file, StillIdentity{file.filename().string(), *inode, *birth}};
}

std::optional<ArrivedStill> ParseStill(const std::vector<std::string_view>& fields,
                                       const Settings& settings) {
  if (fields.size() != kStillFields) return std::nullopt;
  const auto key = KeyFields(fields);
  const auto created = NumberField<std::int64_t>(fields[3]);
  int clock[6] = {};
  for (int i = 0; i < 6; ++i) {
    const auto value = NumberField<int>(fields[4 + static_cast<std::size_t>(i)]);
    if (!value) return std::nullopt;
    clock[i] = *value;
  }
  const auto id = UnescapeField(fields[10]);
  if (!key || !created || !id || id->size() > 10 || clock[1] < 1 || clock[1] > 12 || clock[2] < 1 ||
      clock[2] > 31 || clock[3] < 0 || clock[3] > 23 || clock[4] < 0 || clock[4] > 59 ||
      clock[5] < 0 || clock[5] > 60) {
    return std::nullopt;
  }
  ArrivedStill still;
  still.path = key->first;
  still.identity = key->second;
  still.creation_time_ns = *created;
  still.binding = {
      Cp932Text(*id), {clock[0], clock[1], clock[2], clock[3], clock[4], clock[5]}, settings};
  return still;
}

// The stills a journal names, in the order they joined; a still that joins again (its
// transfer failed for good, then it changed) goes to the end.
class JournalStills {
 public:
  void Join(ArrivedStill still) {
    std::string key = KeyOf(still);
    if (const auto old = index_.find(key); old != index_.end()) stills_[old->second].reset();
    index_[std::move(key)] = stills_.size();
    stills_.emplace_back(std::move(still));
  }
  // The still a record's key fields name; nullptr when it is not in the journal.
  ArrivedStill* Find(const std::vector<std::string_view>& fields) {
    const auto key = fields.size() >= kKeyFields ? KeyFields(fields) : std::nullopt;
    const auto found = key ? index_.find(KeyOf(key->first, key->second)) : index_.end();
    return found == index_.end() ? nullptr : &*stills_[found->second];
  }
  void Leave(const ArrivedStill& still) {
    const auto found = index_.find(KeyOf(still));
    stills_[found->second].reset();
    index_.erase(found);
  }
  std::vector<ArrivedStill> Take() {
    std::vector<ArrivedStill> present;
    for (auto& still : stills_) {
      if (still) present.push_back(std::move(*still));
    }
    return present;
  }

 private:
  std::vector<std::optional<ArrivedStill>> stills_;
  std::map<std::string, std::size_t> index_;  // by key
};

std::optional<std::vector<ArrivedStill>> ParseWhole(const std::vector<std::string_view>& lines,
                                                    const Settings& settings, std::string* error) {
  const std::string_view last = lines.back();
  const auto count =
      last.starts_with(kEnd) ? NumberField<std::size_t>(last.substr(kEnd.size())) : std::nullopt;
  if (!count || *count != lines.size() - 2) {
    *error = "its end line is missing or does not match";
    return std::nullopt;
  }
  JournalStills stills;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    auto still = ParseStill(SplitFields(lines[i]), settings);
    if (!still) {
      *error = "line " + std::to_string(i + 1) + " is damaged";
      return std::nullopt;
    }
    stills.Join(std::move(*still));
  }
  return stills.Take();
}

// Whether `line` is a well-formed record of the log, applied to `stills`.
bool ApplyRecord(std::string_view line, const Settings& settings, JournalStills& stills) {
  const std::string_view kind = line.substr(0, line.find('\t'));
  std::vector<std::string_view> fields = SplitFields(line);
  fields.erase(fields.begin());
  if (kind == kStill) {
    auto still = ParseStill(fields, settings);
    if (still) stills.Join(std::move(*still));
    return still.has_value();
  }
  ArrivedStill* still = stills.Find(fields);
  if (still == nullptr) return false;
  if (kind == kLeft && fields.size() == kKeyFields) {
    stills.Leave(*still);
    return true;
  }
  if (kind != kClaim || fields.size() != kKeyFields + 2) return false;
  const auto target = UnescapeField(fields[3]);
  const auto hash = UnescapeField(fields[4]);
  if (!IsUsableFile(target) || !hash || hash->empty()) return false;
  still->claimed = ClaimedTarget{*target, *hash};
  return true;
}

std::optional<std::vector<ArrivedStill>> ParseLog(const std::vector<std::string_view>& lines,
                                                  const Settings& settings, std::string* error) {
  JournalStills stills;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (!ApplyRecord(lines[i], settings, stills)) {
      *error = "line " + std::to_string(i + 1) + " is damaged";
      return std::nullopt;
    }
  }
  return stills.Take();
}

}  // namespace

std::string JournalText(const std::vector<const ArrivedStill*>& stills) {
  std::string text(kLogHeader);
  text += '\n';
  for (const ArrivedStill* still : stills) {
    text += StillRecord(*still);
    if (still->claimed) text += ClaimRecord(*still);
  }
  return text;
}

std::optional<std::vector<ArrivedStill>> ParseJournal(std::string_view text,
                                                      const Settings& settings,
                                                      std::string* error) {
  auto lines = SplitFields(text, '\n');
  const bool whole = lines.front() == kWholeHeader;
  // A journal of the first form ends with a line end; in a log, what follows the last one is
  // a record a crash cut short: it never took effect, as each record is synced before what
  // it records is done.
  if (lines.size() < 2 || (!whole && lines.front() != kLogHeader) ||
      (whole && (lines.size() < 3 || !lines.back().empty()))) {
    *error = "not a journal of this program, or cut short";
    return std::nullopt;
  }
  lines.pop_back();
  return whole ? ParseWhole(lines, settings, error) : ParseLog(lines, settings, error);
}

bool StillJournal::Write(const std::vector<const ArrivedStill*>& stills) {
  if (stills.empty()) {
    own_ = false;
    append_.Close();
    journalled_.clear();
    records_ = 0;
    std::error_code ec;
    fs::remove(file_, ec);
    if (ec) errno = ec.value();
    return !ec;
  }
  if (!own_ || records_ > 2 * stills.size() + kCompactionSlack) return Rewrite(stills);
  // Each still is looked up, and marked seen by this write; those not seen have left. (When
  // the append fails, the next write is a whole one, which starts the keys afresh.)
  ++writes_;
  std::string records;
  std::size_t count = 0;
  std::string key;
  for (const ArrivedStill* still : stills) {
    KeyInto(still->path, still->identity, &key);
    if (const auto known = journalled_.find(key); known != journalled_.end()) {
      known->second = writes_;
      continue;
    }
    journalled_.emplace(key, writes_);
    records += StillRecord(*still);
    ++count;
    if (still->claimed) {
      records += ClaimRecord(*still);
      ++count;
    }
  }
  std::erase_if(journalled_, [&](const auto& entry) {
    if (entry.second == writes_) return false;
    records += LeftRecord(entry.first);
    ++count;
    return true;
  });
  return count == 0 || Append(records, count);
}

bool StillJournal::NoteClaim(const ArrivedStill& still) {
  if (!own_ || !still.claimed || !journalled_.contains(KeyOf(still))) {
    errno = ENOENT;
    return false;
  }
  return Append(ClaimRecord(still), 1);
}

bool StillJournal::Rewrite(const std::vector<const ArrivedStill*>& stills) {
  own_ = false;
  append_.Close();
  AtomicFile out(file_);
  if (!out.created() || !WriteAll(out.fd(), JournalText(stills)) ||
      out.Commit(FileSync::kSynced) != AtomicFile::Step::kNone) {
    return false;
  }
  // Held open for the appends: the folder's watchers see no close after each of them (the
  // program folder may be the watch folder).
  append_ = UniqueFd(::open(file_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  if (!append_.valid()) return false;
  own_ = true;
  journalled_.clear();
  records_ = 0;
  for (const ArrivedStill* still : stills) {
    journalled_.emplace(KeyOf(*still), writes_);
    records_ += still->claimed ? 2 : 1;
  }
  return true;
}

bool StillJournal::Append(const std::string& records, std::size_t count) {
  if (!WriteAll(append_.get(), records) || ::fdatasync(append_.get()) != 0) {
    own_ = false;  // perhaps cut short: the next change writes it whole
    append_.Close();
    return false;
  }
  records_ += count;
  return true;
}

std::vector<ArrivedStill> ReplayJournal(const ProgramDir& program_dir, const Settings& settings,
                                        const std::function<void(const OwnMessage&)>& report) {
  const fs::path file = program_dir.path / kJournalFileName;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(file, ec))) return {};
  std::string error;
  std::string problem;  // the same, in the window's words
  std::optional<std::vector<ArrivedStill>> stills;
  if (std::ifstream in(file, std::ios::binary); !in) {
    error = ErrnoText(errno);
    problem = "を読めません（" + error + "）";
  } else {
    std::ostringstream text;
    text << in.rdbuf();
    stills = ParseJournal(text.str(), settings, &error);
    problem = "が壊れています";
  }
  if (!stills) {
    fs::path aside = file;
    aside += ".damaged";
    fs::rename(file, aside, ec);
    report({"the journal " + file.string() + " cannot be read (" + error + "); " +
                (ec ? "it could not be set aside: " + ec.message()
                    : "it was set aside as " + aside.string()) +
                ", and the stills it named count as present before",
            "前回の実行で転送していない画像の記録 " + file.string() + " " + problem + "。" +
                (ec ? "別の名前にできませんでした（" + ec.message() + "）。"
                    : aside.string() + " に移しました。") +
                "記録にあった画像は監視の前からあった画像として扱い、転送しません。"});
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
