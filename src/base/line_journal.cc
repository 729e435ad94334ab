#include "base/line_journal.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/state_fields.h"
#include "base/unique_fd.h"

namespace velmarin {

namespace fs = std::filesystem;

namespace {
constexpr std::string_view kEnd = "end ";
}  // namespace

std::string JournalDocument(std::string_view header, const std::vector<std::string>& lines) {
  std::string text(header);
  text += '\n';
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  text += kEnd;
  text += std::to_string(lines.size());
  text += '\n';
  return text;
}

std::optional<std::vector<std::string_view>> JournalEntries(std::string_view text,
                                                            std::string_view header,
                                                            std::size_t max_entries,
                                                            std::string* error) {
  auto lines = SplitFields(text, '\n');
  // The text ends with a line end, so the last piece is empty.
  if (lines.size() < 3 || !lines.back().empty() || lines.front() != header) {
    *error = "not a journal of this program, or cut short";
    return std::nullopt;
  }
  lines.pop_back();
  const std::string_view last = lines.back();
  const auto count =
      last.starts_with(kEnd) ? NumberField<std::size_t>(last.substr(kEnd.size())) : std::nullopt;
  if (!count || *count != lines.size() - 2 || *count > max_entries) {
    *error = "its end line is missing or does not match";
    return std::nullopt;
  }
  return std::vector<std::string_view>(lines.begin() + 1, lines.end() - 1);
}

bool WriteJournalFile(const fs::path& file, const std::string& document) {
  if (document.empty()) {
    std::error_code ec;
    fs::remove(file, ec);
    if (ec) errno = ec.value();
    return !ec;
  }
  AtomicFile out(file);
  if (!out.created()) return false;
  if (!WriteAll(out.fd(), document)) return false;
  return out.Commit(FileSync::kSynced) == AtomicFile::Step::kNone;
}

std::optional<std::string> ReadJournalFile(const fs::path& file, std::uintmax_t max_bytes,
                                           std::string* error) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(file, ec))) return std::nullopt;
  const auto size = fs::file_size(file, ec);
  if (ec) {
    *error = ec.message();
    return std::nullopt;
  }
  if (size > max_bytes) {
    *error = "it is larger than a journal can be";
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = ErrnoText(errno);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return std::move(text).str();
}

OwnMessage SetJournalAside(const fs::path& file) {
  fs::path aside = file;
  aside += ".damaged";
  std::error_code ec;
  fs::rename(file, aside, ec);
  if (ec) {
    return {"it could not be set aside: " + ec.message(),
            "別の名前にできませんでした（" + ec.message() + "）"};
  }
  return {"it was set aside as " + aside.string(), aside.string() + " に移しました"};
}

}  // namespace velmarin
