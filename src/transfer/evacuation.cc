#include "transfer/evacuation.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/file_naming.h"
#include "platform/directory_listing.h"
#include "settings/program_dir.h"
#include "transfer/work_files.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// Names tried beside a taken one before the file is reported as not moved.
constexpr int kMaxNumber = 9999;

// A name beside `name` that evacuation may try: the name itself first, then the name with
// "_1", "_2" and so on before its extension.
std::string CandidateName(const fs::path& name, int number) {
  if (number == 0) return name.string();
  return name.stem().string() + "_" + std::to_string(number) + name.extension().string();
}

// The work files are deleted for every image, so an evacuated image must not take their names.
bool IsWorkFileName(const std::string& name) {
  return name == kBmpConversionFileName || name == kWorkFileName;
}

// Copies `source` to a new file `destination` (never over an existing one), synced to disk
// before it takes the name, so a crash never leaves a part of it there.
ClaimResult CopyDurably(const fs::path& source, const fs::path& destination, std::string* error) {
  ClaimedName name(destination);
  if (CopyFileAtomically(source, name, FileSync::kSynced)) return ClaimResult::kClaimed;
  if (errno == EEXIST) return ClaimResult::kTaken;
  *error = ErrnoText(errno);
  return ClaimResult::kFailed;
}

// A rename that never replaces `destination`, or across file systems a durable copy
// followed by the removal of the source.
ClaimResult MoveWithoutReplacing(const fs::path& source, const fs::path& destination,
                                 std::string* error) {
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
    return ClaimResult::kClaimed;
  }
  if (errno == EEXIST) return ClaimResult::kTaken;
  if (errno == EINVAL) {  // a file system without RENAME_NOREPLACE: a claim of the name
    const ClaimResult claimed = ClaimName(source, destination);
    if (claimed != ClaimResult::kFailed) return claimed;
  }
  if (errno != EXDEV) {
    *error = ErrnoText(errno);
    return ClaimResult::kFailed;
  }
  const ClaimResult copied = CopyDurably(source, destination, error);
  if (copied != ClaimResult::kClaimed) return copied;
  std::error_code ec;
  if (!fs::remove(source, ec)) {
    *error = "copied, but the original could not be removed: " + ec.message();
    return ClaimResult::kFailed;
  }
  return ClaimResult::kClaimed;
}

// Moves `source` into `backup` under the first free name; false with `error` when it stays.
bool Evacuate(const fs::path& source, const fs::path& backup, std::string* error) {
  const fs::path name = source.filename();
  for (int number = 0; number <= kMaxNumber; ++number) {
    const std::string candidate = CandidateName(name, number);
    if (IsWorkFileName(candidate)) continue;
    const ClaimResult result = MoveWithoutReplacing(source, backup / candidate, error);
    if (result != ClaimResult::kTaken) return result == ClaimResult::kClaimed;
  }
  *error = "no free name in " + backup.string();
  return false;
}

}  // namespace

void EvacuateWatchFolder(const Cp932Text& watch_folder, std::string_view pattern,
                         const ProgramDir& program_dir, const EvacuationReport& report,
                         const std::vector<StillIdentity>& leave) {
  const auto folder = FolderFromSlot(watch_folder, program_dir, nullptr);
  if (!folder) {
    report({"evacuation skipped: the watch folder is not set or not convertible",
            "監視フォルダが設定されていないか、フォルダ名に変換できないため、画像を退避しません"
            "でした。"});
    return;
  }
  const fs::path backup = program_dir.path / kBackupFolderName;
  std::error_code ec;
  fs::create_directories(backup, ec);
  if (ec) {
    report({"evacuation skipped: cannot create " + backup.string() + ": " + ec.message(),
            "退避先のフォルダ " + backup.string() +
                " を作成できないため、画像を退避しませんでした（" + ec.message() + "）。"});
    return;
  }
  if (fs::equivalent(*folder, backup, ec)) {
    report({"evacuation skipped: the watch folder is the backup folder",
            "監視フォルダが退避先のフォルダ（bkup）と同じため、画像を退避しませんでした。"});
    return;
  }
  const auto entries = ListDirectory(*folder);
  std::string error;
  if (!entries) return;  // a missing watch folder holds nothing to move
  for (const DirectoryEntry& entry : *entries) {
    if (!entry.regular_file || !MatchesPatternIgnoringCase(entry.name, pattern)) continue;
    if (std::find(leave.begin(), leave.end(), IdentityOf(entry)) != leave.end()) continue;
    const fs::path source = *folder / entry.name;
    if (!Evacuate(source, backup, &error)) {
      report({"not evacuated: " + source.string() + ": " + error,
              source.string() + " を退避できませんでした（" + error + "）。"});
    }
  }
}

}  // namespace velmarin
