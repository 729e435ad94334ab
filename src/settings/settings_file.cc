#include "settings/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/unique_fd.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

// A line is read into a 1000-byte buffer with its terminating NUL.
constexpr std::size_t kLinePieceBytes = 999;

// CR LF becomes LF, as Windows text mode reads it; a CR elsewhere stays.
std::string TranslateLineEnds(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' || bytes.substr(i + 1, 1) != "\n") text += bytes[i];
  }
  return text;
}

void ApplyLine(std::string_view line, Settings& settings, SlotFlags& found) {
  // The line is a C string: whatever follows a NUL is not part of it.
  line = line.substr(0, line.find('\0'));
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const std::string_view label = SettingLabel(static_cast<SettingSlot>(i));
    if (line.find(label) == std::string_view::npos) continue;
    // The value starts at the label's length from the start of the line, wherever the label
    // was found, and its last byte (normally the line end) is dropped.
    std::string_view value = line.substr(label.size());
    if (!value.empty()) value.remove_suffix(1);
    settings.slots[i] = FitSlotValue(Cp932Text(value));
    found[i] = true;
  }
}

// The whole contents of the regular file at `path`. On failure `*reason` says why and
// `*missing` tells whether the file does not exist.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, bool* missing,
                                           std::string* reason) {
  // Non-blocking, so a FIFO in the file's place cannot hold the start-up.
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat status;
  if (!fd.valid() || fstat(fd.get(), &status) != 0) {
    *missing = errno == ENOENT;
    *reason = ErrnoText(errno);
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) {
    *reason = "not a regular file";
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got == 0) return bytes;
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      *reason = ErrnoText(errno);
      return std::nullopt;
    }
  }
}

// Writes `bytes` as the settings file at `path` atomically (temporary file, fsync, rename),
// keeping the old file's permissions. A symbolic link (one file shared by several program
// folders) is written through: its target is replaced and the link stays.
bool WriteSettingsBytes(const std::filesystem::path& link, std::string_view bytes,
                        std::string* error) {
  std::error_code ignored;
  const std::filesystem::path path = std::filesystem::is_symlink(link, ignored)
                                         ? std::filesystem::weakly_canonical(link, ignored)
                                         : link;
  const auto fail = [&](const std::string& what, int code) {
    if (error) *error = "cannot write " + path.string() + ": " + what + ": " + ErrnoText(code);
    return false;
  };
  if (path.empty()) return fail("cannot follow the link " + link.string(), ENOENT);

  AtomicFile file(path);
  if (!file.created()) return fail("cannot create a temporary file", errno);

  struct stat old_file;
  const bool keep_mode = stat(path.c_str(), &old_file) == 0 && S_ISREG(old_file.st_mode);
  if (keep_mode && fchmod(file.fd(), old_file.st_mode & 07777) != 0) {
    return fail("cannot set the permissions", errno);
  }
  if (!WriteAll(file.fd(), bytes)) return fail("cannot write the temporary file", errno);
  switch (file.Commit(FileSync::kSynced)) {
    case AtomicFile::Step::kNone:
      return true;
    case AtomicFile::Step::kWrite:
    case AtomicFile::Step::kSync:
      return fail("cannot flush the temporary file", errno);
    case AtomicFile::Step::kClose:
      return fail("cannot close the temporary file", errno);
    case AtomicFile::Step::kRename:
      return fail("cannot replace the file", errno);
  }
  return false;
}

}  // namespace

Settings ParseSettingsFile(std::string_view bytes, const Cp932Text& program_dir,
                           SlotFlags* found_out) {
  Settings settings = DefaultSettings(program_dir);
  SlotFlags found{};
  const std::string text = TranslateLineEnds(bytes);
  // The line end is looked for once per line, not once per piece, so a long line costs no
  // more than many short ones.
  std::size_t newline = text.find('\n');
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (newline != std::string::npos && newline < pos) newline = text.find('\n', pos);
    const std::size_t line_end = newline == std::string::npos ? text.size() : newline + 1;
    const std::size_t length = std::min(line_end - pos, kLinePieceBytes);
    ApplyLine(std::string_view(text).substr(pos, length), settings, found);
    pos += length;
  }
  if (found_out) *found_out = found;
  return settings;
}

std::string DescribeEncodingProblem(std::string_view bytes, const SlotFlags& found) {
  bool other_encoding = !Cp932ToUtf8(Cp932Text(bytes)).has_value();
  std::string defaulted;
  for (int i = 0; i < kSettingSlotCount; ++i) {
    if (found[i]) continue;
    const auto slot = static_cast<SettingSlot>(i);
    if (const auto utf8_label = Cp932ToUtf8(Cp932Text(SettingLabel(slot)));
        utf8_label && *utf8_label != SettingLabel(slot) &&
        bytes.find(*utf8_label) != std::string_view::npos) {
      other_encoding = true;
    }
    defaulted += defaulted.empty() ? "" : ", ";
    defaulted += SettingName(slot);
  }
  if (!other_encoding || defaulted.empty()) return "";
  return "the file is not in Shift-JIS (code page 932), as it must be: the lines of " + defaulted +
         " were not recognised, so these settings have their defaults (--settings shows what was "
         "read)";
}

std::string FormatSettingsFile(const Settings& settings) {
  std::string bytes;
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const std::string& value = settings.slots[i].bytes();
    bytes += SettingLabel(static_cast<SettingSlot>(i));
    bytes += std::string_view(value).substr(0, value.find_first_of(std::string_view("\0\n", 2)));
    bytes += "\r\n";
  }
  return bytes;
}

std::optional<Settings> ReadSettingsFile(const ProgramDir& dir, bool* missing, std::string* error,
                                         std::string* warning) {
  const std::filesystem::path path = dir.path / kSettingsFileName;
  std::string reason;
  const auto bytes = ReadRegularFile(path, missing, &reason);
  if (!bytes) {
    if (error) *error = "cannot read " + path.string() + ": " + reason;
    return std::nullopt;
  }
  SlotFlags found;
  Settings settings = ParseSettingsFile(*bytes, dir.cp932, &found);
  if (const std::string problem = DescribeEncodingProblem(*bytes, found);
      !problem.empty() && warning) {
    *warning = path.string() + ": " + problem;
  }
  return settings;
}

Settings LoadSettings(const ProgramDir& dir, std::string* warning,
                      MissingSettingsFile missing_file) {
  bool missing = false;
  std::string problem;
  if (auto settings = ReadSettingsFile(dir, &missing, &problem, warning)) return *settings;
  const Settings defaults = DefaultSettings(dir.cp932);
  if (missing) {
    if (missing_file == MissingSettingsFile::kLeave) return defaults;
    if (SaveSettings(dir, defaults, &problem)) return defaults;
    if (warning) *warning = problem + "; the default settings are used";
    return defaults;
  }
  // An existing file that cannot be read is left as it is rather than replaced by the defaults.
  if (warning) {
    *warning = problem + "; the default settings are used, and the file is left as it is";
  }
  return defaults;
}

std::optional<std::string> ReplaceChangedLines(std::string_view bytes, const Settings& baseline,
                                               const Settings& current, std::string* reason) {
  // The file's own encoding: UTF-8 when an editor re-saved it so (its labels are in UTF-8),
  // else code page 932, the bytes compared as they are.
  bool utf8 = false;
  for (int i = 0; i < kSettingSlotCount && !utf8; ++i) {
    const std::string_view label = SettingLabel(static_cast<SettingSlot>(i));
    const auto utf8_label = Cp932ToUtf8(Cp932Text(label));
    utf8 = utf8_label && *utf8_label != label && bytes.find(*utf8_label) != std::string_view::npos;
  }
  const auto in_file = [&](std::string_view cp932) -> std::optional<std::string> {
    return utf8 ? Cp932ToUtf8(Cp932Text(cp932)) : std::optional<std::string>(cp932);
  };

  std::vector<std::string> lines;  // each with its own line end, as in the file
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t newline = bytes.find('\n', pos);
    const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline + 1;
    lines.emplace_back(bytes.substr(pos, end - pos));
    pos = end;
  }
  const bool lf_only =
      !lines.empty() && lines.front().ends_with('\n') && !lines.front().ends_with("\r\n");
  const std::string line_end = lf_only ? "\n" : "\r\n";
  // The last line gets a line end, or reading would take its last byte as one.
  if (!lines.empty() && !lines.back().ends_with('\n')) lines.back() += line_end;

  for (int i = 0; i < kSettingSlotCount; ++i) {
    if (current.slots[i] == baseline.slots[i]) continue;
    const auto slot = static_cast<SettingSlot>(i);
    const std::string& value = current.slots[i].bytes();
    const auto label = in_file(SettingLabel(slot));
    const auto text = in_file(value.substr(0, value.find_first_of(std::string_view("\0\n", 2))));
    if (!label || !text) {
      *reason = "the new value of " + std::string(SettingName(slot)) +
                " cannot be written in the file's encoding (UTF-8)";
      return std::nullopt;
    }
    bool replaced = false;
    for (std::string& line : lines) {
      if (line.find(*label) == std::string::npos) continue;
      const std::string_view end = line.ends_with("\r\n") ? "\r\n" : "\n";
      line = *label + *text + std::string(end);
      replaced = true;
    }
    if (!replaced) lines.push_back(*label + *text + line_end);
  }
  std::string merged;
  for (const std::string& line : lines) merged += line;
  return merged;
}

bool SaveChangedSettings(const ProgramDir& dir, const Settings& baseline, const Settings& current,
                         std::string* message) {
  if (message) message->clear();
  if (current == baseline) return true;
  bool missing = false;
  std::string reason;
  const std::filesystem::path path = dir.path / kSettingsFileName;
  const auto bytes = ReadRegularFile(path, &missing, &reason);
  if (!bytes) {
    if (missing) return SaveSettings(dir, current, message);
    // What the file holds is unknown; defaults must never be written over it.
    if (message) {
      *message = "cannot read " + path.string() + ": " + reason +
                 "; the changed settings were not saved, the file is left as it is";
    }
    return false;
  }
  const auto merged = ReplaceChangedLines(*bytes, baseline, current, &reason);
  if (!merged) {
    if (message) {
      *message = path.string() + ": " + reason +
                 "; the changed settings were not saved, the file is left as it is";
    }
    return false;
  }
  return WriteSettingsBytes(path, *merged, message);
}

bool SaveSettings(const ProgramDir& dir, const Settings& settings, std::string* error) {
  return WriteSettingsBytes(dir.path / kSettingsFileName, FormatSettingsFile(settings), error);
}

}  // namespace velmarin
