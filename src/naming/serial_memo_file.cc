#include "naming/serial_memo_file.h"

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "base/state_fields.h"
#include "naming/serial_search.h"
#include "platform/xdg_folders.h"

namespace velmarin {
namespace {

constexpr std::string_view kVersionLine = "velmarin serials 1\n";
constexpr std::size_t kFieldCount = 7;
// Generous for a line of the longest path; more is no file of this program's making.
constexpr std::size_t kMaxLineBytes = 16 * 1024;

std::optional<SavedSerialStart> ParseLine(std::string_view line) {
  const std::vector<std::string_view> fields = SplitFields(line);
  if (fields.size() != kFieldCount) return std::nullopt;
  const auto device = NumberField<std::uint64_t>(fields[0]);
  const auto inode = NumberField<std::uint64_t>(fields[1]);
  const auto modified = NumberField<std::int64_t>(fields[2]);
  const auto changed = NumberField<std::int64_t>(fields[3]);
  const auto start = NumberField<int>(fields[4]);
  const auto listed = NumberField<std::int64_t>(fields[5]);
  std::optional<std::string> key = UnescapeField(fields[6]);
  if (!device || !inode || !modified || !changed || !start || !listed || !key || key->empty() ||
      *start < 1 || *start >= kSerialLimit) {
    return std::nullopt;
  }
  return SavedSerialStart{{*device, *inode, *modified, *changed}, std::move(*key), *start, *listed};
}

}  // namespace

std::filesystem::path SerialMemoFilePath() {
  return XdgBaseFolder("XDG_CACHE_HOME", ".cache") / "velmarin" / "serials";
}

std::string FormatSerialStarts(const std::vector<SavedSerialStart>& starts) {
  std::string text(kVersionLine);
  for (const SavedSerialStart& saved : starts) {
    text += std::to_string(saved.stamp.device) + '\t' + std::to_string(saved.stamp.inode) + '\t' +
            std::to_string(saved.stamp.modified_ns) + '\t' +
            std::to_string(saved.stamp.changed_ns) + '\t' + std::to_string(saved.start) + '\t' +
            std::to_string(saved.listed_ns) + '\t';
    AppendEscapedField(text, saved.key);
    text += '\n';
  }
  return text;
}

std::optional<std::vector<SavedSerialStart>> ParseSerialStarts(std::string_view text,
                                                               std::size_t max_starts) {
  if (!text.starts_with(kVersionLine)) return std::nullopt;
  text.remove_prefix(kVersionLine.size());
  std::vector<SavedSerialStart> starts;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    // A last line without its end was cut short.
    if (end == std::string_view::npos || starts.size() == max_starts) return std::nullopt;
    std::optional<SavedSerialStart> saved = ParseLine(text.substr(0, end));
    if (!saved) return std::nullopt;
    starts.push_back(std::move(*saved));
    text.remove_prefix(end + 1);
  }
  return starts;
}

std::vector<SavedSerialStart> ReadSerialStarts(const std::filesystem::path& file,
                                               std::size_t max_starts) {
  const std::size_t max_bytes = kVersionLine.size() + max_starts * kMaxLineBytes;
  std::ifstream in(file, std::ios::binary);
  std::string text(max_bytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const auto size = static_cast<std::size_t>(in.gcount());
  if (size > max_bytes) return {};
  text.resize(size);
  return ParseSerialStarts(text, max_starts).value_or(std::vector<SavedSerialStart>());
}

void WriteSerialStarts(const std::filesystem::path& file,
                       const std::vector<SavedSerialStart>& starts) {
  const std::filesystem::path folder = file.parent_path();
  std::error_code ignored;
  std::filesystem::create_directories(folder.parent_path(), ignored);
  // The names may carry the IDs of whom the images show.
  ::mkdir(folder.c_str(), 0700);
  AtomicFile out(file);
  if (!out.created()) return;
  const std::string text = FormatSerialStarts(starts);
  std::FILE* stream = out.Stream();
  if (stream == nullptr || std::fwrite(text.data(), 1, text.size(), stream) != text.size()) return;
  out.Commit(FileSync::kNotSynced);
}

}  // namespace velmarin
