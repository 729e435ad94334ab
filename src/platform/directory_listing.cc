#include "platform/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/c_handle.h"
#include "base/unique_fd.h"

namespace velmarin {
namespace {

using DirHandle = CHandle<DIR, closedir>;

std::int64_t Nanoseconds(const struct statx_timestamp& stamp) {
  return static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
}

// Fills type, size, identity and times; false when there is no such entry. Links are
// followed, so a link to a regular file counts as one and a dangling link stays non-regular.
bool QueryEntry(int dir_fd, DirectoryEntry& entry) {
  struct statx link {};
  if (statx(dir_fd, entry.name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, STATX_TYPE,
            &link) != 0) {
    return false;
  }
  entry.symbolic_link = (link.stx_mask & STATX_TYPE) && S_ISLNK(link.stx_mode);
  struct statx info {};
  const unsigned mask =
      STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_BTIME | STATX_INO | STATX_NLINK;
  if (statx(dir_fd, entry.name.c_str(), AT_STATX_SYNC_AS_STAT, mask, &info) != 0) return true;
  if (!(info.stx_mask & STATX_TYPE)) return true;
  entry.regular_file = S_ISREG(info.stx_mode);
  if (info.stx_mask & STATX_SIZE) entry.size = info.stx_size;
  if (info.stx_mask & STATX_INO) entry.inode = info.stx_ino;
  if (info.stx_mask & STATX_NLINK) entry.link_count = info.stx_nlink;
  if (info.stx_mask & STATX_BTIME) entry.birth_time_ns = Nanoseconds(info.stx_btime);
  if (info.stx_mask & STATX_MTIME) entry.modified_ns = Nanoseconds(info.stx_mtime);
  entry.creation_time_ns = entry.birth_time_ns != 0 ? entry.birth_time_ns : entry.modified_ns;
  return true;
}

// Calls `each` with every entry of the open folder but "." and "..".
template <typename Each>
void ReadNames(DIR* dir, Each each) {
  while (const dirent* raw = readdir(dir)) {
    if (std::strcmp(raw->d_name, ".") == 0 || std::strcmp(raw->d_name, "..") == 0) continue;
    each(*raw);
  }
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::filesystem::path& folder) {
  DirHandle dir(opendir(folder.c_str()));
  if (!dir) return std::nullopt;
  const int dir_fd = dirfd(dir.get());
  std::vector<DirectoryEntry> entries;
  ReadNames(dir.get(), [&](const dirent& raw) {
    DirectoryEntry entry;
    entry.name = raw.d_name;
    QueryEntry(dir_fd, entry);
    entries.push_back(std::move(entry));
  });
  return entries;
}

bool ForEachName(const AtPath& folder, const std::function<void(const DirectoryName&)>& visit) {
  const char* path = folder.path.empty() ? "." : folder.path.c_str();
  UniqueFd fd(::openat(folder.folder, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return false;
  DirHandle dir(fdopendir(fd.get()));
  if (!dir) return false;
  fd.release();  // the listing owns it now
  DirectoryName entry;
  for (;;) {
    errno = 0;
    const dirent* raw = readdir(dir.get());
    if (raw == nullptr) return errno == 0;
    if (std::strcmp(raw->d_name, ".") == 0 || std::strcmp(raw->d_name, "..") == 0) continue;
    entry.name = raw->d_name;
    entry.inode = static_cast<std::uint64_t>(raw->d_ino);
    entry.maybe_regular =
        raw->d_type == DT_REG || raw->d_type == DT_LNK || raw->d_type == DT_UNKNOWN;
    visit(entry);
  }
}

std::optional<std::vector<DirectoryName>> ListDirectoryNames(const AtPath& folder) {
  std::vector<DirectoryName> names;
  if (!ForEachName(folder, [&](const DirectoryName& name) { names.push_back(name); })) {
    return std::nullopt;
  }
  return names;
}

std::optional<std::vector<DirectoryEntry>> QueryDirectoryEntries(
    const std::filesystem::path& folder, const std::vector<std::string>& names) {
  const UniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  for (const std::string& name : names) {
    DirectoryEntry entry;
    entry.name = name;
    if (QueryEntry(dir.get(), entry)) entries.push_back(std::move(entry));
  }
  return entries;
}

std::optional<DirectoryEntry> QueryDirectoryEntry(const std::filesystem::path& folder,
                                                  const std::string& name) {
  auto entries = QueryDirectoryEntries(folder, {name});
  if (!entries || entries->empty()) return std::nullopt;
  return std::move(entries->front());
}

bool MatchesPatternIgnoringCase(std::string_view name, std::string_view pattern) {
  return fnmatch(std::string(pattern).c_str(), std::string(name).c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace velmarin
