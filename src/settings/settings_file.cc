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

namespace fs = std::filesystem;

// A line is read into a 1000-byte buffer with its terminating NUL.
constexpr std::size_t kLinePieceBytes = 999;
// What some editors put in front of a file they save in UTF-8.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The slot's label as a file re-saved in UTF-8 holds it. The two ASCII labels are the same in
// both encodings.
const std::string& Utf8Label(SettingSlot slot) {
  static const std::array<std::string, kSettingSlotCount> labels = [] {
    std::array<std::string, kSettingSlotCount> utf8;
    for (int i = 0; i < kSettingSlotCount; ++i) {
      const std::string_view label = SettingLabel(static_cast<SettingSlot>(i));
      utf8[i] = Cp932ToUtf8(Cp932Text(label)).value_or(std::string(label));
    }
    return utf8;
  }();
  return labels[static_cast<int>(slot)];
}

bool IsAsciiLabel(SettingSlot slot) { return Utf8Label(slot) == SettingLabel(slot); }

// The bytes behind a UTF-8 byte-order mark, if there is one.
std::string_view WithoutByteOrderMark(std::string_view bytes) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) bytes.remove_prefix(kUtf8ByteOrderMark.size());
  return bytes;
}

// How a line holds the label of a slot: in code page 932 or in UTF-8; nullopt when it holds
// none. The ASCII labels count as the file's encoding.
std::optional<SettingsEncoding> LabelIn(std::string_view line, SettingSlot slot,
                                        SettingsEncoding file_encoding) {
  if (line.find(SettingLabel(slot)) != std::string_view::npos) {
    return IsAsciiLabel(slot) ? file_encoding : SettingsEncoding::kShiftJis;
  }
  if (!IsAsciiLabel(slot) && line.find(Utf8Label(slot)) != std::string_view::npos) {
    return SettingsEncoding::kUtf8;
  }
  return std::nullopt;
}

// CR LF becomes LF, as Windows text mode reads it; a CR elsewhere stays.
std::string TranslateLineEnds(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' || bytes.substr(i + 1, 1) != "\n") text += bytes[i];
  }
  return text;
}

void ApplyLine(std::string_view line, Settings& settings, SettingsFileReading& reading) {
  // The line is a C string: whatever follows a NUL is not part of it.
  line = line.substr(0, line.find('\0'));
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const auto slot = static_cast<SettingSlot>(i);
    const auto encoding = LabelIn(line, slot, reading.encoding);
    if (!encoding) continue;
    reading.found[i] = true;
    // The value starts at the label's length from the start of the line, wherever the label
    // was found.
    const std::size_t label_size = *encoding == SettingsEncoding::kUtf8 && !IsAsciiLabel(slot)
                                       ? Utf8Label(slot).size()
                                       : SettingLabel(slot).size();
    std::string_view value = line.substr(label_size);
    if (*encoding == SettingsEncoding::kShiftJis) {
      // Its last byte, normally the line end, is dropped.
      if (!value.empty()) value.remove_suffix(1);
      settings.slots[i] = FitSlotValue(Cp932Text(value));
      reading.not_shift_jis[i] = false;
      continue;
    }
    // A UTF-8 line loses its line end alone, so no character is cut.
    if (value.ends_with('\n')) value.remove_suffix(1);
    const auto cp932 = Utf8ToCp932(value);
    reading.not_shift_jis[i] = !cp932.has_value();
    if (cp932) settings.slots[i] = FitSlotValue(*cp932);
  }
}

// The names of the slots flagged in `flags`, joined by ", ".
std::string SlotNames(const SlotFlags& flags) {
  std::string names;
  for (int i = 0; i < kSettingSlotCount; ++i) {
    if (!flags[i]) continue;
    names += names.empty() ? "" : ", ";
    names += SettingName(static_cast<SettingSlot>(i));
  }
  return names;
}

OwnMessage CannotRead(const fs::path& path, const std::string& reason) {
  return {"cannot read " + path.string() + ": " + reason,
          "設定ファイル " + path.string() + " を読めません（" + reason + "）。"};
}

// The whole contents of the regular file at `path`. On failure `*reason` says why and
// `*missing` tells whether the file does not exist.
std::optional<std::string> ReadRegularFile(const fs::path& path, bool* missing,
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
// folders) is written through: its target is replaced and the link stays. A file the user may
// not write is left alone: the rename would replace it all the same, the folder permitting.
bool WriteSettingsBytes(const fs::path& link, std::string_view bytes, OwnMessage* error) {
  std::error_code ignored;
  const fs::path path = fs::is_symlink(link, ignored) ? fs::weakly_canonical(link, ignored) : link;
  const auto fail = [&](const std::string& what, int code) {
    if (error) {
      *error = {"cannot write " + path.string() + ": " + what + ": " + ErrnoText(code),
                "設定ファイル " + path.string() + " に書き込めません（" + ErrnoText(code) + "）。"};
    }
    return false;
  };
  if (path.empty()) return fail("cannot follow the link " + link.string(), ENOENT);
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
    const int code = errno;
    if (error) {
      *error = {"cannot write " + path.string() + ": " + ErrnoText(code) +
                    " (the file is write-protected, so it is not replaced)",
                "設定ファイル " + path.string() +
                    " は書き込みが禁止されているため、書き換えません（" + ErrnoText(code) + "）。"};
    }
    return false;
  }

  AtomicFile file(path);
  if (!file.created()) return fail("cannot create a temporary file beside it", errno);

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

SettingsEncoding SettingsEncodingOf(std::string_view bytes) {
  if (bytes.starts_with(kUtf8ByteOrderMark)) return SettingsEncoding::kUtf8;
  for (int i = 0; i < kSettingSlotCount; ++i) {
    const auto slot = static_cast<SettingSlot>(i);
    if (!IsAsciiLabel(slot) && bytes.find(Utf8Label(slot)) != std::string_view::npos) {
      return SettingsEncoding::kUtf8;
    }
  }
  return SettingsEncoding::kShiftJis;
}

Settings ParseSettingsFile(std::string_view bytes, const Cp932Text& program_dir,
                           SettingsFileReading* reading_out) {
  Settings settings = DefaultSettings(program_dir);
  SettingsFileReading reading;
  reading.encoding = SettingsEncodingOf(bytes);
  const std::string text = TranslateLineEnds(WithoutByteOrderMark(bytes));
  // The line end is looked for once per line, not once per piece, so a long line costs no
  // more than many short ones.
  std::size_t newline = text.find('\n');
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (newline != std::string::npos && newline < pos) newline = text.find('\n', pos);
    const std::size_t line_end = newline == std::string::npos ? text.size() : newline + 1;
    const std::size_t length = std::min(line_end - pos, kLinePieceBytes);
    ApplyLine(std::string_view(text).substr(pos, length), settings, reading);
    pos += length;
  }
  if (reading_out) *reading_out = reading;
  return settings;
}

OwnMessage DescribeReadingProblem(const fs::path& path, std::string_view bytes,
                                  const SettingsFileReading& reading) {
  const std::string file = path.string();
  if (const std::string names = SlotNames(reading.not_shift_jis); !names.empty()) {
    return {
        file + ": the UTF-8 lines of " + names +
            " hold characters that Shift-JIS (code page 932) cannot write; they were not "
            "read, so these settings have their defaults (--settings shows what was read)",
        "設定ファイル " + file + " の " + names +
            " の行に、シフトJIS（コードページ932）で書けない文字があります。これらの行は読まず、"
            "設定は既定値のままです。"};
  }
  SlotFlags missing{};
  for (int i = 0; i < kSettingSlotCount; ++i) missing[i] = !reading.found[i];
  const std::string names = SlotNames(missing);
  if (names.empty() || reading.encoding == SettingsEncoding::kUtf8 ||
      Cp932ToUtf8(Cp932Text(bytes)).has_value()) {
    return {};
  }
  return {file + ": the file is neither Shift-JIS (code page 932) nor UTF-8: the lines of " +
              names +
              " were not recognised, so these settings have their defaults (--settings shows "
              "what was read)",
          "設定ファイル " + file + " はシフトJISでもUTF-8でもないため、" + names +
              " の行を読めませんでした。これらの設定は既定値です。"};
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

std::optional<Settings> ReadSettingsFile(const ProgramDir& dir, bool* missing, OwnMessage* error,
                                         OwnMessage* warning, SettingsEncoding* encoding) {
  const fs::path path = dir.path / kSettingsFileName;
  std::string reason;
  const auto bytes = ReadRegularFile(path, missing, &reason);
  if (!bytes) {
    if (error) *error = CannotRead(path, reason);
    return std::nullopt;
  }
  SettingsFileReading reading;
  Settings settings = ParseSettingsFile(*bytes, dir.cp932, &reading);
  if (encoding) *encoding = reading.encoding;
  if (OwnMessage problem = DescribeReadingProblem(path, *bytes, reading);
      !problem.empty() && warning) {
    *warning = std::move(problem);
  }
  return settings;
}

Settings LoadSettings(const ProgramDir& dir, OwnMessage* warning, SettingsEncoding* encoding,
                      MissingSettingsFile missing_file) {
  bool missing = false;
  OwnMessage problem;
  if (auto settings = ReadSettingsFile(dir, &missing, &problem, warning, encoding)) {
    return *settings;
  }
  const Settings defaults = DefaultSettings(dir.cp932);
  if (missing) {
    if (missing_file == MissingSettingsFile::kLeave) return defaults;
    if (SaveSettings(dir, defaults, &problem)) return defaults;
    if (warning) {
      *warning = {problem.english + "; the default settings are used",
                  problem.japanese + "既定の設定で動きます。"};
    }
    return defaults;
  }
  // An existing file that cannot be read is left as it is rather than replaced by the defaults.
  if (warning) {
    *warning = {problem.english + "; the default settings are used, and the file is left as it is",
                problem.japanese + "既定の設定で動きます。ファイルはそのままです。"};
  }
  return defaults;
}

std::optional<std::string> ReplaceChangedLines(std::string_view bytes, const Settings& baseline,
                                               const Settings& current, SettingSlot* unwritable) {
  const SettingsEncoding file_encoding = SettingsEncodingOf(bytes);
  const std::string_view body = WithoutByteOrderMark(bytes);
  std::vector<std::string> lines;  // each with its own line end, as in the file
  for (std::size_t pos = 0; pos < body.size();) {
    const std::size_t newline = body.find('\n', pos);
    const std::size_t end = newline == std::string_view::npos ? body.size() : newline + 1;
    lines.emplace_back(body.substr(pos, end - pos));
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
    const Cp932Text text(value.substr(0, value.find_first_of(std::string_view("\0\n", 2))));
    // The line as the encoding `encoding` writes it; nullopt when UTF-8 cannot carry the value.
    const auto line_in = [&](SettingsEncoding encoding) -> std::optional<std::string> {
      if (encoding == SettingsEncoding::kShiftJis) {
        return std::string(SettingLabel(slot)) + text.bytes();
      }
      const auto utf8 = Cp932ToUtf8(text);
      if (!utf8) return std::nullopt;
      return Utf8Label(slot) + *utf8;
    };
    bool replaced = false;
    for (std::string& line : lines) {
      const auto encoding = LabelIn(line, slot, file_encoding);
      if (!encoding) continue;
      const auto new_line = line_in(*encoding);
      if (!new_line) {
        *unwritable = slot;
        return std::nullopt;
      }
      line = *new_line + (line.ends_with("\r\n") ? "\r\n" : "\n");
      replaced = true;
    }
    if (replaced) continue;
    const auto new_line = line_in(file_encoding);
    if (!new_line) {
      *unwritable = slot;
      return std::nullopt;
    }
    lines.push_back(*new_line + line_end);
  }
  std::string merged(bytes.substr(0, bytes.size() - body.size()));
  for (const std::string& line : lines) merged += line;
  return merged;
}

bool SaveChangedSettings(const ProgramDir& dir, const Settings& baseline, const Settings& current,
                         OwnMessage* message) {
  if (message) *message = {};
  if (current == baseline) return true;
  bool missing = false;
  std::string reason;
  const fs::path path = dir.path / kSettingsFileName;
  const auto bytes = ReadRegularFile(path, &missing, &reason);
  const std::string not_saved = "; the changed settings were not saved, the file is left as it is";
  const std::string not_saved_ja = "変更した設定は保存されず、ファイルはそのままです。";
  if (!bytes) {
    if (missing) return SaveSettings(dir, current, message);
    // What the file holds is unknown; defaults must never be written over it.
    if (message) {
      const OwnMessage cannot_read = CannotRead(path, reason);
      *message = {cannot_read.english + not_saved, cannot_read.japanese + not_saved_ja};
    }
    return false;
  }
  SettingSlot unwritable = SettingSlot::SwitchDevice;
  const auto merged = ReplaceChangedLines(*bytes, baseline, current, &unwritable);
  if (!merged) {
    if (message) {
      const std::string name(SettingName(unwritable));
      *message = {path.string() + ": the new value of " + name +
                      " cannot be written in the file's encoding (UTF-8)" + not_saved,
                  name + " の新しい値は UTF-8 で書けないため、設定ファイル " + path.string() +
                      " に保存できません。" + not_saved_ja};
    }
    return false;
  }
  if (WriteSettingsBytes(path, *merged, message)) return true;
  if (message) message->japanese += "変更した設定は保存されていません。";
  return false;
}

bool SaveSettings(const ProgramDir& dir, const Settings& settings, OwnMessage* error) {
  return WriteSettingsBytes(dir.path / kSettingsFileName, FormatSettingsFile(settings), error);
}

}  // namespace velmarin
