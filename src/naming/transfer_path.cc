#include "naming/transfer_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/replace_all.h"
#include "base/scanf_reader.h"
#include "base/unique_fd.h"
#include "naming/serial_memo.h"
#include "naming/serial_search.h"
#include "naming/template_expansion.h"
#include "platform/directory_listing.h"
#include "platform/encoding.h"
#include "platform/inotify_folder_events.h"

namespace velmarin {
namespace {

constexpr std::size_t kMaxNameBytes = NAME_MAX;
constexpr std::size_t kMaxPathBytes = PATH_MAX - 1;

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

std::vector<std::string_view> SplitComponents(std::string_view path) {
  std::vector<std::string_view> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

// Code page 932 path text to a UTF-8 file-system path. Converting before the backslashes
// become "/" keeps the second byte 0x5C of a two-byte character from reading as a separator.
std::optional<std::string> ToUtf8Path(std::string_view cp932, std::string* error) {
  // The system would end the path at a zero byte and look at another file than the one named.
  if (cp932.find('\0') != std::string_view::npos) {
    SetError(error, "the transfer path contains a zero byte");
    return std::nullopt;
  }
  std::optional<std::string> utf8 = Cp932ToUtf8(Cp932Text(cp932));
  if (!utf8) {
    SetError(error, "the transfer path cannot be converted from code page 932 to UTF-8");
    return std::nullopt;
  }
  std::replace(utf8->begin(), utf8->end(), '\\', '/');
  return utf8;
}

// ToUtf8Path, refusing what the file system could not hold instead of cutting it.
std::optional<std::string> ToUsablePath(std::string_view cp932, std::string* error) {
  std::optional<std::string> utf8 = ToUtf8Path(cp932, error);
  if (!utf8) return std::nullopt;
  if (utf8->size() > kMaxPathBytes) {
    SetError(error, "the transfer path is longer than " + std::to_string(kMaxPathBytes) + " bytes");
    return std::nullopt;
  }
  for (std::string_view component : SplitComponents(*utf8)) {
    if (component.size() > kMaxNameBytes) {
      SetError(error, "a name in the transfer path is longer than " +
                          std::to_string(kMaxNameBytes) + " bytes: " + std::string(component));
      return std::nullopt;
    }
  }
  return utf8;
}

// False with `error` set when the expanded name (template and ID) does not convert or
// climbs out of the transfer folder.
bool IsUsableName(std::string_view name, std::string* error) {
  const std::optional<std::string> utf8 = ToUtf8Path(name, error);
  if (!utf8) return false;
  const std::vector<std::string_view> components = SplitComponents(*utf8);
  if (std::find(components.begin(), components.end(), "..") == components.end()) return true;
  SetError(error, "the file name leads out of the transfer folder: " + *utf8);
  return false;
}

// The first "$r" with the two bytes behind it; the number they start with ("%d") is the least
// count of digits of the serial. Without a number, or with a negative one, the serial is
// written plainly.
std::optional<SerialPattern> FindSerialPattern(const std::string& path) {
  const std::size_t pos = path.find("$r");
  if (pos == std::string::npos) return std::nullopt;
  const int width = ScanDecimal(std::string_view(path).substr(pos + 2, 2)).value_or(0);
  return SerialPattern{path, path.substr(pos, 4), std::max(0, width)};
}

std::string NoSerialLeft(const SerialPattern& pattern) {
  const std::optional<std::string> shown = ToUtf8Path(pattern.path, nullptr);
  return "no free serial number below " + std::to_string(kSerialLimit) + " for " +
         shown.value_or(pattern.placeholder);
}

// The pattern's UTF-8 paths, each piece between the placeholders converted once.
std::optional<SerialPaths> SerialPathsOf(const SerialPattern& pattern, std::string* error) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t found = pattern.path.find(pattern.placeholder, start);
    const std::size_t end = found == std::string::npos ? pattern.path.size() : found;
    std::optional<std::string> piece =
        ToUtf8Path(std::string_view(pattern.path).substr(start, end - start), error);
    if (!piece) return std::nullopt;
    pieces.push_back(std::move(*piece));
    if (found == std::string::npos) break;
    start = found + pattern.placeholder.size();
  }
  return SerialPaths(std::move(pieces), pattern.width);
}

// Where the folder `dir` is listed: the transfer folder held open itself, or a folder in it.
AtPath FolderIn(const OpenTransferFolder& folder, const std::filesystem::path& dir) {
  if (folder.fd != AT_FDCWD &&
      (dir / "").lexically_normal() == (folder.path / "").lexically_normal()) {
    return {folder.fd, "."};
  }
  return LocateIn(folder, dir);
}

// The search in `listed`, the one folder of every serial's file, held open as `fd`: from
// where the process's last search of it ended when only this process changed it since, else
// from one listing, which the memo keeps for the next search. False when it cannot be listed.
bool SearchOneFolder(const SerialPaths& paths, const AtPath& listed, int fd,
                     std::optional<int>& serial, std::optional<SerialMemoNote>& note) {
  SerialMemo& memo = SerialMemo::OfProcess();
  const std::string key = paths.Key();
  const auto now = SerialMemo::Clock::now();
  // Where another machine or a user-space server changes the folder, it is listed every time.
  const std::optional<FolderStamp> stamp =
      ReportsEveryChange(fd) ? StampOfFolder({fd, "."}) : std::nullopt;
  if (stamp) note = SerialMemoNote{key, *stamp, listed};
  if (const std::optional<int> start = stamp ? memo.StartOf(key, *stamp, now) : std::nullopt) {
    serial = LowestFreeSerial([&](int n) { return PathExists({fd, paths.FileName(n)}); }, *start);
    return true;
  }
  const std::int64_t listed_ns = WallClockNs();
  SerialListing listing(paths);
  if (!ForEachName({fd, "."}, [&](const DirectoryName& name) { listing.Note(name.name); })) {
    return false;
  }
  serial = listing.LowestFree();
  if (stamp && serial) memo.NoteListing(key, *stamp, *serial, listed_ns, now);
  return true;
}

// What the serial search found: the number, and what its claim tells the memo.
struct ResolvedSerial {
  int serial = 0;
  std::optional<SerialMemoNote> memo;
};

// The smallest serial from which kSerialWindow numbers in a row are free; no file is ever
// reused, so without one the call fails. Where the serial is in the file name alone, one
// listing of its folder tells which numbers are taken, however many files it holds (or the
// memo of the last one, see SerialMemo); otherwise each number is looked up. A number too
// long for the file system counts as free: no such file can exist, and only the chosen one
// must be usable.
std::optional<ResolvedSerial> ResolveSerial(const SerialPattern& pattern,
                                            const OpenTransferFolder& folder, std::string* error) {
  const std::optional<SerialPaths> paths = SerialPathsOf(pattern, error);
  if (!paths) return std::nullopt;
  std::optional<int> serial;
  ResolvedSerial resolved;
  bool searched = false;
  if (paths->InFileNameOnly()) {
    const AtPath listed = FolderIn(folder, paths->Folder());
    const UniqueFd fd(::openat(listed.folder, listed.path.empty() ? "." : listed.path.c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
      searched = SearchOneFolder(*paths, listed, fd.get(), serial, resolved.memo);
    } else if (errno == ENOENT || errno == ENOTDIR) {
      serial = 1;  // no folder yet: every number is free
      searched = true;
    }
  }
  if (!searched) {
    resolved.memo.reset();
    serial = LowestFreeSerial([&](int n) { return PathExists(LocateIn(folder, paths->Path(n))); });
  }
  if (!serial) {
    SetError(error, NoSerialLeft(pattern));
    return std::nullopt;
  }
  resolved.serial = *serial;
  return resolved;
}

}  // namespace

std::string SerialPattern::With(int serial) const {
  std::string digits = std::to_string(serial);
  const auto least = static_cast<std::size_t>(width);
  if (digits.size() < least) digits.insert(0, least - digits.size(), '0');
  std::string result = path;
  ReplaceAll(result, placeholder, digits);
  return result;
}

bool PathExists(const AtPath& path) {
  struct stat status {};
  return ::fstatat(path.folder, path.path.c_str(), &status, 0) == 0;
}

bool EnsureParentFolders(const AtPath& path) {
  const std::filesystem::path parent = path.path.parent_path();
  if (parent.empty()) return true;
  // Each folder on the way, from the top; one that exists already (made by another station
  // meanwhile, too) is fine, and the last look decides.
  std::filesystem::path prefix;
  for (const std::filesystem::path& part : parent) {
    prefix /= part;
    if (!part.empty()) ::mkdirat(path.folder, prefix.c_str(), 0777);
  }
  struct stat status {};
  return ::fstatat(path.folder, parent.c_str(), &status, 0) == 0 && S_ISDIR(status.st_mode);
}

AtPath LocateIn(const OpenTransferFolder& folder, const std::filesystem::path& file) {
  if (folder.fd == AT_FDCWD) return file;
  const std::string& base = folder.path.native();
  const std::string& full = file.native();
  if (base.empty() || !full.starts_with(base)) return file;
  std::size_t at = base.size();
  if (base.back() != '/' && (at == full.size() || full[at] != '/')) return file;
  at = full.find_first_not_of('/', at);
  if (at == std::string::npos) return file;
  return {folder.fd, full.substr(at)};
}

bool TransferTarget::Place(const AtPath& temporary) {
  error_.clear();
  for (;;) {
    if (before_claim_ && !before_claim_(temporary, name_)) {
      errno = ECANCELED;
      return false;
    }
    if (!pattern_) return RenameReplacing(temporary, location());
    const ClaimResult result = ClaimName(temporary, location());
    if (result == ClaimResult::kClaimed) NoteClaimInMemo();
    if (result != ClaimResult::kTaken) return result == ClaimResult::kClaimed;
    // Another program took the name since the search: the next number, whose folders may
    // differ when the serial is part of a folder name.
    std::optional<std::string> next;
    if (serial_ + 1 < kSerialLimit) next = ToUsablePath(pattern_->With(serial_ + 1), &error_);
    if (!next) {
      if (error_.empty()) error_ = NoSerialLeft(*pattern_);
      errno = EEXIST;
      return false;
    }
    ++serial_;
    name_ = *next;
    EnsureParentFolders(location());
  }
}

void TransferTarget::NoteClaimInMemo() const {
  if (!memo_) return;
  if (const std::optional<FolderStamp> after = StampOfFolder(memo_->folder)) {
    SerialMemo::OfProcess().NoteClaim(memo_->key, memo_->searched, *after, serial_);
  }
}

namespace {

// What the serial search found: the chosen name and, with "$r", the pattern and its number.
struct FoundTarget {
  std::string path;  // UTF-8
  std::optional<SerialPattern> pattern;
  int serial = 0;
  std::optional<SerialMemoNote> memo;
};

// The search of BuildTransferTarget, which only looks: nothing is created.
std::optional<FoundTarget> SearchTransferTarget(const Cp932Text& name_format,
                                                const Cp932Text& capture_id,
                                                const Cp932Text& transfer_folder,
                                                const OpenTransferFolder& opened,
                                                const LocalTime& now, std::string* error) {
  // An empty folder would put the images at the root of the file system.
  if (transfer_folder.empty()) {
    SetError(error, "no transfer folder set");
    return std::nullopt;
  }
  // Checked on its own so that a lone lead byte at its end cannot swallow the separator.
  if (!ToUtf8Path(transfer_folder.view(), error)) return std::nullopt;
  const Cp932Text name = ExpandTemplate(capture_id, name_format, now);
  if (!IsUsableName(name.view(), error)) return std::nullopt;

  std::string path = transfer_folder.bytes() + '\\' + name.bytes() + ".jpg";

  FoundTarget found;
  found.pattern = FindSerialPattern(path);
  if (found.pattern) {
    std::optional<ResolvedSerial> resolved = ResolveSerial(*found.pattern, opened, error);
    if (!resolved) return std::nullopt;
    found.serial = resolved->serial;
    found.memo = std::move(resolved->memo);
    path = found.pattern->With(found.serial);
  }
  std::optional<std::string> chosen = ToUsablePath(path, error);
  if (!chosen) return std::nullopt;
  found.path = std::move(*chosen);
  return found;
}

}  // namespace

std::optional<TransferTarget> BuildTransferTarget(const Cp932Text& name_format,
                                                  const Cp932Text& capture_id,
                                                  const Cp932Text& transfer_folder,
                                                  const OpenTransferFolder& opened,
                                                  const LocalTime& now, std::string* error) {
  std::optional<FoundTarget> found =
      SearchTransferTarget(name_format, capture_id, transfer_folder, opened, now, error);
  if (!found) return std::nullopt;
  // A folder that cannot be created makes the write of the image fail, which reports it.
  EnsureParentFolders(LocateIn(opened, found->path));
  if (!found->pattern) return TransferTarget(found->path, opened);
  return TransferTarget(found->path, opened, std::move(*found->pattern), found->serial,
                        std::move(found->memo));
}

std::optional<std::filesystem::path> BuildTransferPath(const Cp932Text& name_format,
                                                       const Cp932Text& capture_id,
                                                       const Cp932Text& transfer_folder,
                                                       const LocalTime& now, std::string* error) {
  std::optional<FoundTarget> found =
      SearchTransferTarget(name_format, capture_id, transfer_folder, {}, now, error);
  if (!found) return std::nullopt;
  return found->path;
}

}  // namespace velmarin
