#include "dicom/outbox_journal.h"

#include <climits>

#include "base/line_journal.h"
#include "base/state_fields.h"
#include "dicom/dicom_uids.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kHeader = "velmarin pacs journal 1";
constexpr std::size_t kFields = 12;
constexpr std::string_view kSent = "sent\t";
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
    const auto value = NumberField<int>(fields[2 + i]);
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

// One line: a still waiting, or the UID of one sent.
struct OutboxLine {
  std::optional<OutboxEntry> waiting;
  std::string sent;
};

std::optional<OutboxLine> ParseOutboxLine(std::string_view line) {
  if (line.starts_with(kSent)) {
    const std::string_view uid = line.substr(kSent.size());
    if (!IsValidDicomUid(uid)) return std::nullopt;
    return OutboxLine{std::nullopt, std::string(uid)};
  }
  auto entry = ParseLine(line);
  if (!entry) return std::nullopt;
  return OutboxLine{std::move(entry), {}};
}

}  // namespace

std::string OutboxJournalText(const OutboxContent& content) {
  std::vector<std::string> lines;
  for (const OutboxEntry& entry : content.waiting) {
    if (lines.size() == OutboxJournal::kMaxEntries) break;
    const InstanceFacts& facts = entry.facts;
    std::string line =
        EscapeField(entry.target.string()) + '\t' + EscapeField(facts.patient_id.view());
    for (const int value : {facts.clock.year, facts.clock.month, facts.clock.day, facts.clock.hour,
                            facts.clock.minute, facts.clock.second, facts.instance_number}) {
      line += '\t' + std::to_string(value);
    }
    for (const std::string* uid : {&facts.study_uid, &facts.series_uid, &facts.sop_uid}) {
      line += '\t' + *uid;
    }
    lines.push_back(std::move(line));
  }
  for (const std::string& uid : content.sent) lines.push_back(std::string(kSent) + uid);
  return JournalDocument(kHeader, lines);
}

std::optional<OutboxContent> ParseOutboxJournal(std::string_view text, std::string* error) {
  const auto lines = ParseJournalEntries<OutboxLine>(
      text, kHeader, OutboxJournal::kMaxEntries + OutboxJournal::kRecentlySent, ParseOutboxLine,
      error);
  if (!lines) return std::nullopt;
  OutboxContent content;
  for (const OutboxLine& line : *lines) {
    if (line.waiting) {
      content.waiting.push_back(*line.waiting);
    } else {
      content.sent.push_back(line.sent);
    }
  }
  return content;
}

OutboxJournal::OutboxJournal(const ProgramDir& program_dir)
    : file_(program_dir.path / kOutboxJournalName), folder_(program_dir.path / kOutboxFolderName) {}

fs::path OutboxJournal::CopyOf(const OutboxEntry& entry) const {
  return folder_ / (entry.facts.sop_uid + ".jpg");
}

bool OutboxJournal::Write(const OutboxContent& content) const {
  const bool empty = content.waiting.empty() && content.sent.empty();
  return WriteJournalFile(file_, empty ? std::string() : OutboxJournalText(content));
}

std::optional<OutboxContent> OutboxJournal::Replay(
    const std::function<void(const OwnMessage&)>& report) const {
  std::string error;
  const auto text = ReadJournalFile(file_, kMaxBytes, &error);
  if (!text && error.empty()) return OutboxContent{};
  auto content = text ? ParseOutboxJournal(*text, &error) : std::nullopt;
  if (content) return content;
  const OwnMessage aside = SetJournalAside(file_);
  report({"the PACS journal " + file_.string() + " cannot be read (" + error + "); " +
              aside.english +
              "; the stills it named are not sent to the PACS, their copies stay in " +
              folder_.string(),
          "PACS へ送る画像の記録 " + file_.string() + " が壊れているか読めません（" + error +
              "）。" + aside.japanese + "。記録にあった画像は PACS へ送りません。写しは " +
              folder_.string() + " に残っています。"});
  return std::nullopt;
}

}  // namespace velmarin
