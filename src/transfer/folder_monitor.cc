#include "transfer/folder_monitor.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "base/message_subject.h"
#include "base/stale_temporaries.h"
#include "image/capture_processing.h"
#include "platform/encoding.h"
#include "transfer/folder_scan.h"
#include "transfer/watch_folder_scanner.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// The conversion is chosen by the file's name, not by the folders above it.
bool IsBmpName(const fs::path& source) {
  const std::string name = source.filename().string();
  return name.find(".bmp") != std::string::npos || name.find(".BMP") != std::string::npos;
}

// Removes a work file left by an earlier image. Anything left in the way (a file that
// cannot be removed, a folder with contents) fails, so it can never be taken for this image.
bool RemoveWorkFile(const fs::path& file) {
  std::error_code ec;
  fs::remove(file, ec);
  return !ec && !fs::exists(fs::symlink_status(file, ec));
}

// Whether `target` would land in the watch folder itself, where the next scan would take it
// as a new capture, and so on without end. A sub-folder of it is never scanned.
bool LandsInWatchFolder(const fs::path& target, const Settings& settings,
                        const ProgramDir& program_dir) {
  const auto watch_folder =
      FolderFromSlot(settings[SettingSlot::WatchFolder], program_dir, nullptr);
  std::error_code ec;
  return watch_folder && fs::equivalent(target.parent_path(), *watch_folder, ec);
}

struct FolderScan {
  fs::path folder;
  ScanResult result;
};

// Scans the watch folder of the current settings. An unusable setting counts as an empty
// folder and is reported once, until it changes.
FolderScan ScanCurrentWatchFolder(const FolderMonitorContext& ctx, WatchFolderScanner& scanner,
                                  std::string& reported_problem) {
  std::string problem;
  auto folder = FolderFromSlot(ctx.settings()[SettingSlot::WatchFolder], ctx.program_dir, &problem);
  if (!folder) {
    if (problem != reported_problem) ctx.errors.Set("watch " + problem);
    reported_problem = problem;
    return {};
  }
  reported_problem.clear();
  return {*folder, scanner.Scan(*folder)};
}

}  // namespace

void RemoveStaleTemporariesAtStartUp(const Settings& settings, const ProgramDir& program_dir) {
  RemoveStaleTemporaries(program_dir.path);
  RemoveStaleTemporaries(program_dir.path / kBackupFolderName);
  const auto transfer = FolderFromSlot(settings[SettingSlot::TransferFolder], program_dir, nullptr);
  if (!transfer) return;
  RemoveStaleTemporaries(*transfer);
  std::error_code ec;
  for (fs::directory_iterator it(*transfer, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) RemoveStaleTemporaries(it->path());
  }
}

std::optional<fs::path> TransferOneImage(const fs::path& source, const Settings& settings,
                                         std::string_view capture_id, const ProgramDir& program_dir,
                                         TransferPipeline& pipeline, LastErrorText& errors,
                                         MessageSink& messages) {
  const fs::path backup = program_dir.path / kBackupFolderName;
  std::error_code ec;
  fs::create_directories(backup, ec);
  if (ec) {
    errors.Set("bkup folder error! ");
    return std::nullopt;
  }

  const LocalTime now = LocalTimeNow();
  std::string error;
  Settings resolved = settings;
  resolved[SettingSlot::TransferFolder] =
      FolderInProgramDir(program_dir, settings[SettingSlot::TransferFolder]);
  // The reason may quote a file-system path.
  const auto report = [&errors](const std::string& reason) {
    const auto cp932 = Utf8ToCp932(reason);
    errors.Set(cp932 ? *cp932 : "transfer path error! ");
  };
  auto target = pipeline.BuildTarget(resolved, capture_id, now, &error);
  if (!target) {
    report(error);
    return std::nullopt;
  }
  // After a failed write, what killed runs left where this one writes goes, so their
  // leftovers never fill the disk.
  struct CleanUpAfterFailure {
    std::vector<fs::path> folders;
    bool succeeded = false;
    ~CleanUpAfterFailure() {
      if (succeeded) return;
      for (const fs::path& folder : folders) RemoveStaleTemporaries(folder);
    }
  } clean_up{{backup, target->name().parent_path()}};
  if (LandsInWatchFolder(target->name(), settings, program_dir)) {
    errors.Set("transfer target in watch folder! ");
    return std::nullopt;
  }

  fs::path jpeg = source;
  if (IsBmpName(source)) {
    jpeg = backup / kBmpConversionFileName;
    if (!RemoveWorkFile(jpeg)) {
      errors.Set("temp.jpg delete error! ");
      return std::nullopt;
    }
    if (!pipeline.ConvertBmp(source, jpeg, errors)) return std::nullopt;
  }

  const fs::path work_file = backup / kWorkFileName;
  if (!RemoveWorkFile(work_file)) {
    errors.Set("444.jpg delete error! ");
    return std::nullopt;
  }
  if (!pipeline.NormalizeWidth(jpeg, work_file, messages)) {
    // Nothing is processed without a work file; the text is the one the processing of the
    // missing work file would leave.
    errors.Set(UnreadableSourceText(work_file, settings));
    return std::nullopt;
  }
  // The copy path of the processing reports a failed copy but still succeeds; only a
  // target that exists counts as transferred.
  if (!pipeline.Process(work_file, *target, settings, capture_id, now, errors)) {
    if (!target->error().empty()) report(target->error());
    return std::nullopt;
  }
  if (!fs::exists(target->name(), ec)) return std::nullopt;
  clean_up.succeeded = true;
  return target->name();
}

namespace {

// Looks a vanished image up again this many times before it is given up.
constexpr int kMaxRescans = 5;

// Transfers the newest image of `scan`. A capture program that saves through a temporary
// name ("cap.jpg.AbC123", "cap.jpg.part") shows the temporary first and renames it away,
// which does not raise the count again: when the file taken vanishes before it is read, the
// folder is scanned again at once and its newest image is taken instead, as long as it is
// not older than the one that vanished (a rename keeps the creation time). Only the last
// attempt's failures are reported.
std::optional<fs::path> TakeNewestImage(FolderMonitorContext& ctx, FolderScan scan,
                                        WatchFolderScanner& scanner, int& remembered_count,
                                        std::string& reported_problem) {
  for (int rescans = 0;; ++rescans) {
    const fs::path source = scan.folder / scan.result.newest;
    // Every failure and library message from here on names this image.
    const ScopedMessageSubject subject(source.string());
    if (ctx.in_hand) ctx.in_hand->Set(source);
    // A stop does not cut the wait short: the image in hand is finished, and the next run
    // would count it as already present.
    const Completeness completeness = WaitUntilComplete(source, {}, ctx.timing.completeness);
    LastErrorText attempt_errors;
    std::optional<fs::path> target;
    if (completeness != Completeness::kVanished) {
      target = TransferOneImage(source, ctx.settings(), ctx.capture_id(), ctx.program_dir,
                                ctx.pipeline, attempt_errors, ctx.messages);
    }
    std::error_code ec;
    const bool vanished = !target && !fs::is_regular_file(source, ec);
    if (vanished && rescans < kMaxRescans) {
      const std::int64_t vanished_time = scan.result.newest_time;
      scan = ScanCurrentWatchFolder(ctx, scanner, reported_problem);
      remembered_count = std::max(remembered_count, scan.result.count);
      if (!scan.result.newest.empty() && scan.result.newest_time >= vanished_time) continue;
    }
    if (vanished) {
      ctx.errors.Set("image vanished! ");
    } else if (attempt_errors.Generation() > 0) {
      ctx.errors.Set(attempt_errors.Get());
    }
    // A half-written image is better tried late than lost; a failure then names the cause.
    if (!target && completeness == Completeness::kTimedOut) ctx.errors.Set("image not complete! ");
    return target;
  }
}

}  // namespace

void ImageInHand::Set(std::filesystem::path image) {
  std::lock_guard lock(mutex_);
  image_ = std::move(image);
}

void ImageInHand::Clear() {
  std::lock_guard lock(mutex_);
  image_.reset();
}

std::optional<std::filesystem::path> ImageInHand::Get() const {
  std::lock_guard lock(mutex_);
  return image_;
}

void RunFolderMonitor(std::stop_token stop, FolderMonitorContext& ctx) {
  ctx.image_count.store(0);
  std::string reported_problem;
  WatchFolderScanner scanner;
  // Images present now belong to an earlier run and are never taken.
  int remembered_count = ScanCurrentWatchFolder(ctx, scanner, reported_problem).result.count;

  while (!stop.stop_requested()) {
    const FolderScan scan = ScanCurrentWatchFolder(ctx, scanner, reported_problem);
    if (scan.result.count <= remembered_count) {
      ctx.timing.pause(stop, ctx.timing.idle_pause);
      continue;
    }
    remembered_count = scan.result.count;
    const int count = ctx.image_count.fetch_add(1) + 1;
    const auto target = TakeNewestImage(ctx, scan, scanner, remembered_count, reported_problem);
    if (ctx.in_hand) ctx.in_hand->Clear();
    if (target && ctx.on_transferred) ctx.on_transferred(count, *target);
    ctx.timing.pause(stop, ctx.timing.after_image_pause);
  }
}

}  // namespace velmarin
