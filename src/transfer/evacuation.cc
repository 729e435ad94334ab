#include "transfer/evacuation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

#include "platform/directory_listing.h"
#include "transfer/folder_scan.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

struct FdCloser {
  int fd = -1;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

// Copies `source` to `destination` and syncs it to disk; a partial copy is removed.
bool CopyDurably(const fs::path& source, const fs::path& destination, std::string* error) {
  std::error_code ec;
  fs::copy_file(source, destination, fs::copy_options::overwrite_existing, ec);
  if (!ec) {
    FdCloser file{open(destination.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0 || fsync(file.fd) != 0) ec.assign(errno, std::generic_category());
  }
  if (ec) {
    std::error_code ignored;
    fs::remove(destination, ignored);
    *error = ec.message();
    return false;
  }
  return true;
}

// A rename, or across file systems a durable copy followed by the removal of the source.
bool MoveFile(const fs::path& source, const fs::path& destination, std::string* error) {
  std::error_code ec;
  // Only a folder in the way needs removing: a file of the same name is replaced by the move.
  if (fs::is_directory(fs::symlink_status(destination, ec)) && !fs::remove(destination, ec)) {
    *error = "cannot replace " + destination.string() + ": " + ec.message();
    return false;
  }
  if (std::rename(source.c_str(), destination.c_str()) == 0) return true;
  if (errno != EXDEV) {
    *error = std::error_code(errno, std::generic_category()).message();
    return false;
  }
  if (!CopyDurably(source, destination, error)) return false;
  if (!fs::remove(source, ec)) {
    *error = "copied, but the original could not be removed: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

void EvacuateWatchFolder(std::string_view watch_folder_cp932, std::string_view pattern,
                         const ProgramDir& program_dir, const EvacuationReport& report) {
  std::string error;
  const auto watch_folder = FolderFromSlot(watch_folder_cp932, program_dir, &error);
  if (!watch_folder) {
    report("evacuation skipped: the watch folder is not set or not convertible");
    return;
  }
  const fs::path backup = program_dir.path / "bkup";
  std::error_code ec;
  fs::create_directories(backup, ec);
  if (ec) {
    report("evacuation skipped: cannot create " + backup.string() + ": " + ec.message());
    return;
  }
  if (fs::equivalent(*watch_folder, backup, ec)) {
    report("evacuation skipped: the watch folder is the backup folder");
    return;
  }
  const auto entries = ListDirectory(*watch_folder);
  if (!entries) return;  // a missing watch folder holds nothing to move
  for (const DirectoryEntry& entry : *entries) {
    if (!entry.regular_file || !MatchesPatternIgnoringCase(entry.name, pattern)) continue;
    const fs::path source = *watch_folder / entry.name;
    if (!MoveFile(source, backup / entry.name, &error)) {
      report("not evacuated: " + source.string() + ": " + error);
    }
  }
}

}  // namespace velmarin
