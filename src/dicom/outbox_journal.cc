#include "dicom/outbox_journal.h"

#include <cerrno>
#include <climits>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/journal_fields.h"
#include "dicom/dicom_uids.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "velmarin pacs journal 1";
constexpr std::string_view kEnd = "end ";
constexpr std::size_t kFields = 12;
// A journal longer than this was not written by this program: a path of at most PATH_MAX
// bytes and 3 UIDs of 64 on each line.
constexpr std::uintmax_t kMaxBytes = OutboxJournal::kMaxEntries * (PATH_MAX + 512);

std::optional<OutboxEntry> ParseLine(std::string_view line) {
  const auto fields = SplitFields(line, '\t');
  if (fields.size() != kFields) return std::nullopt;
  const auto target = UnescapeField(fields[0]);
  const auto id = UnescapeField(fields[1]);
  int numbers[7] = {};
  for (std::size_t i = 0; i < 7; ++i) {
    const auto value = FieldNumber<int>(fields[2 + i]);
    if (!value) return std::nullopt;
    numbers[i] = *value;
  }
  const auto [year, month, day, hour, minute, second, instance] = numbers;
  if (!target || !id || !fs::path(*target).is_absolute() || !fs::path(*target).has_filename() ||
      id->size() > 10 || year < 0 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 ||
      instance < 0) {
    return std::nullopt;
  }
  for (std::size_t i = 9; i < kFields; ++i) {
    if (!IsValidDicomUid(fields[i])) return std::nullopt;
  }
  OutboxEntry entry;
  entry.target = *target;
  entry.facts.patient_id = Cp932Text(*id);
  entry.facts.clock = {year, month, day, hour, minute, second};
  entry.facts.instance_number = instance;
  entry.facts.study_uid = fields[9];
  entry.facts.series_uid = fields[10];
  entry.facts.sop_uid = fields[11];
  return entry;
}

}  // namespace

std::string OutboxJournalText(const std::vector<OutboxEntry>& entries) {
  std::string text(kHeader);
  text += '\n';
  std::size_t count = 0;
  for (const OutboxEntry& entry : entries) {
    if (count == OutboxJournal::kMaxEntries) break;
    const InstanceFacts& facts = entry.facts;
    text += EscapeField(entry.target.string());
    text += '\t';
    text += EscapeField(facts.patient_id.view());
    for (const int value : {facts.clock.year, facts.clock.month, facts.clock.day, facts.clock.hour,
                            facts.clock.minute, facts.clock.second, facts.instance_number}) {
      text += '\t';
      text += std::to_string(value);
    }
    for (const std::string* uid : {&facts.study_uid, &facts.series_uid, &facts.sop_uid}) {
      text += '\t';
      text += *uid;
    }
    text += '\n';
    ++count;
  }
  text += kEnd;
  text += std::to_string(count);
  text += '\n';
  return text;
}

std::optional<std::vector<OutboxEntry>> ParseOutboxJournal(std::string_view text,
                                                           std::string* error) {
  auto lines = SplitFields(text, '\n');
  // The text ends with a line end, so the last piece is empty.
  if (lines.size() < 3 || !lines.back().empty() || lines.front() != kHeader) {
    *error = "not a PACS journal of this program, or cut short";
    return std::nullopt;
  }
  lines.pop_back();
  const std::string_view last = lines.back();
  const auto count =
      last.starts_with(kEnd) ? FieldNumber<std::size_t>(last.substr(kEnd.size())) : std::nullopt;
  if (!count || *count != lines.size() - 2 || *count > OutboxJournal::kMaxEntries) {
    *error = "its end line is missing or does not match";
    return std::nullopt;
  }
  std::vector<OutboxEntry> entries;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    auto entry = ParseLine(lines[i]);
    if (!entry) {
      *error = "line " + std::to_string(i + 1) + " is damaged";
      return std::nullopt;
    }
    entries.push_back(std::move(*entry));
  }
  return entries;
}

OutboxJournal::OutboxJournal(const ProgramDir& program_dir)
    : file_(program_dir.path / kOutboxJournalName), folder_(program_dir.path / kOutboxFolderName) {}

fs::path OutboxJournal::CopyOf(const OutboxEntry& entry) const {
  return folder_ / (entry.facts.sop_uid + ".jpg");
}

bool OutboxJournal::Write(const std::vector<OutboxEntry>& entries) const {
  if (entries.empty()) {
    std::error_code ec;
    fs::remove(file_, ec);
    return !ec;
  }
  const std::string text = OutboxJournalText(entries);
  AtomicFile out(file_);
  if (!out.created()) return false;
  if (!WriteAll(out.fd(), text)) return false;
  return out.Commit(FileSync::kSynced) == AtomicFile::Step::kNone;
}

std::optional<std::vector<OutboxEntry>> OutboxJournal::Replay(
    const std::function<void(std::string_view)>& report) const {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(file_, ec))) return std::vector<OutboxEntry>{};
  std::string error;
  std::optional<std::vector<OutboxEntry>> entries;
  const auto size = fs::file_size(file_, ec);
  if (ec) {
    error = ec.message();
  } else if (size > kMaxBytes) {
    error = "it is larger than a PACS journal can be";
  } else if (std::ifstream in(file_, std::ios::binary); !in) {
    error = ErrnoText(errno);
  } else {
    std::ostringstream text;
    text << in.rdbuf();
    entries = ParseOutboxJournal(text.str(), &error);
  }
  if (entries) return entries;
  fs::path aside = file_;
  aside += ".damaged";
  fs::rename(file_, aside, ec);
  report("the PACS journal " + file_.string() + " cannot be read (" + error + "); " +
         (ec ? "it could not be set aside: " + ec.message()
             : "it was set aside as " + aside.string()) +
         "; the stills it named are not sent to the PACS, their copies stay in " +
         folder_.string());
  return std::nullopt;
}

}  // namespace velmarin
