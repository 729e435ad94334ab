#include "transfer/folder_monitor.h"

#include <sys/stat.h>

#include <exception>
#include <new>
#include <system_error>
#include <vector>

#include "base/message_subject.h"
#include "base/stale_temporaries.h"
#include "image/capture_processing.h"
#include "platform/encoding.h"
#include "transfer/folder_scan.h"
#include "transfer/image_failure_texts.h"
#include "transfer/still_journal.h"
#include "transfer/watch_folder_scanner.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// FolderMonitorMemory::journalled_arrivals after a failed write: the next look writes again.
constexpr std::uint64_t kJournalNotWritten = ~std::uint64_t{0};

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

TransferOutcome TransferOneImage(const fs::path& source, const Settings& settings,
                                 const Cp932Text& capture_id, const LocalTime& now,
                                 const ProgramDir& program_dir, TransferPipeline& pipeline,
                                 LastErrorText& errors, MessageSink& messages) {
  // Failures on the writing side are worth a later try; the still's own are not.
  const TransferOutcome retry{std::nullopt, true};
  const TransferOutcome give_up{std::nullopt, false};
  const fs::path backup = program_dir.path / kBackupFolderName;
  std::error_code ec;
  fs::create_directories(backup, ec);
  if (ec) {
    errors.Set(Cp932Text("bkup folder error! "));
    return retry;
  }

  std::string error;
  Settings resolved = settings;
  resolved[SettingSlot::TransferFolder] =
      FolderInProgramDir(program_dir, settings[SettingSlot::TransferFolder]);
  // The reason may quote a file-system path.
  const auto report = [&errors](const std::string& reason) {
    const auto cp932 = Utf8ToCp932(reason);
    errors.Set(cp932 ? *cp932 : Cp932Text("transfer path error! "));
  };
  auto target = pipeline.BuildTarget(resolved, capture_id, now, &error);
  if (!target) {
    report(error);
    return retry;
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
    errors.Set(Cp932Text("transfer target in watch folder! "));
    return give_up;
  }
  // A step that could not write its file failed on the writing side; any other failure is
  // the still's own.
  const auto failed = [&](const ImageResult& result) {
    const bool not_written = result.status == ImageStatus::kTargetNotCreated ||
                             result.status == ImageStatus::kTargetNotWritten;
    return not_written ? retry : give_up;
  };

  fs::path jpeg = source;
  // The conversion is chosen by the file's name, not by the folders above it.
  const StillFormat format = StillFormatOf(source.filename().string());
  if (format == StillFormat::kBmp || format == StillFormat::kPng) {
    jpeg = backup / kBmpConversionFileName;
    if (!RemoveWorkFile(jpeg)) {
      errors.Set(Cp932Text("temp.jpg delete error! "));
      return retry;
    }
    const ImageResult converted = pipeline.ConvertToJpeg(source, jpeg);
    const auto kind =
        format == StillFormat::kPng ? ImageStep::Kind::kPngToJpeg : ImageStep::Kind::kBmpToJpeg;
    ReportImageResult({kind, source, jpeg}, converted, errors, messages);
    if (!converted.ok()) return failed(converted);
  }

  const fs::path work_file = backup / kWorkFileName;
  if (!RemoveWorkFile(work_file)) {
    errors.Set(Cp932Text("444.jpg delete error! "));
    return retry;
  }
  const ImageResult normalized = pipeline.NormalizeWidth(jpeg, work_file);
  ReportImageResult({ImageStep::Kind::kNormalizeWidth, jpeg, work_file}, normalized, errors,
                    messages);
  if (!normalized.ok()) {
    // Nothing is processed without a work file; the text is the one the processing of the
    // missing work file would leave. A still that does not decode had its detail in its box.
    const ImageStep processing{ImageStep::Kind::kProcess, work_file, target->name()};
    const bool boxed = normalized.status == ImageStatus::kSourceNotDecoded;
    errors.Set(ImageFailureText(processing, UnreadableSourceStatus(work_file, settings)),
               boxed ? Cp932Text() : Utf8ToCp932Replacing(normalized.detail));
    return failed(normalized);
  }
  const ImageResult processed =
      pipeline.Process(work_file, *target, settings, capture_id, now, errors);
  ReportImageResult({ImageStep::Kind::kProcess, work_file, target->name()}, processed, errors,
                    messages);
  if (!processed.ok()) {
    if (!target->error().empty()) report(target->error());
    return retry;
  }
  clean_up.succeeded = true;
  return {target->name(), false};
}

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

void ImageInHand::SetLeft(std::optional<std::filesystem::path> image) {
  std::lock_guard lock(mutex_);
  left_ = std::move(image);
}

std::optional<std::filesystem::path> ImageInHand::Left() const {
  std::lock_guard lock(mutex_);
  return left_;
}

namespace {

// The identity of a folder itself: another one under the same path (a remount, a folder put
// in place of the old one) has another.
std::optional<std::pair<std::uint64_t, std::uint64_t>> FolderIdentityOf(const fs::path& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return std::pair{static_cast<std::uint64_t>(info.st_dev),
                   static_cast<std::uint64_t>(info.st_ino)};
}

Sighting SightingOf(FolderEvent::Kind kind) {
  switch (kind) {
    case FolderEvent::Kind::kCreated:
      return Sighting::kCreated;
    case FolderEvent::Kind::kClosedAfterWrite:
      return Sighting::kClosedAfterWrite;
    default:
      return Sighting::kMovedIn;
  }
}

// One run of the folder thread: which folder it looks at, and how.
class FolderWatch {
 public:
  FolderWatch(FolderMonitorContext& ctx, bool start_over) : ctx_(ctx), start_over_(start_over) {}

  // Looks at the watch folder of the current settings: the folder is watched again (and
  // listed) when its setting or the folder itself changed. Then waits for events up to
  // `wait` (listing the folder instead where there are none) and notes what arrived.
  void Look(std::stop_token stop, std::chrono::milliseconds wait) {
    const Settings settings = ctx_.settings();
    Cp932Text problem;
    const auto folder =
        FolderFromSlot(settings[SettingSlot::WatchFolder], ctx_.program_dir, &problem);
    if (!folder) {
      // An unusable setting counts as an empty folder and is reported once, until it changes.
      if (problem != reported_problem_) ctx_.errors.Set(Cp932Text("watch ") + problem);
      reported_problem_ = problem;
      watched_.reset();
      ctx_.events.Wait(stop, wait);
      return;
    }
    reported_problem_ = Cp932Text();
    const auto identity = FolderIdentityOf(*folder);
    if (!watched_ || *watched_ != *folder || identity != identity_) {
      WatchAnew(*folder, identity);
    }
    std::vector<FolderEvent> events = ctx_.events.Wait(stop, wait);
    // What holds now, when the stills below are seen arriving; read only when needed, as
    // most looks of an idle folder see nothing.
    std::optional<ArrivalBinding> now;
    const auto binding = [&]() -> const ArrivalBinding& {
      if (!now) now = Binding();
      return *now;
    };
    bool list = !events_;
    for (const FolderEvent& event : events) {
      switch (event.kind) {
        case FolderEvent::Kind::kOverflow:
          list = true;
          break;
        case FolderEvent::Kind::kFolderGone:
          watched_.reset();  // watched anew at the next look
          break;
        case FolderEvent::Kind::kRemoved:
          ctx_.memory.arrivals.NoteRemoved(event.name);
          break;
        default:
          if (const auto entry = QueryDirectoryEntry(*folder, event.name)) {
            ctx_.memory.arrivals.Note(*entry, SightingOf(event.kind), binding());
          } else {
            ctx_.memory.arrivals.NoteRemoved(event.name);
          }
      }
    }
    if (list && watched_) {
      if (const auto entries = scanner_.Scan(*folder)) {
        ctx_.memory.arrivals.NoteListing(*entries, binding(), true);
      }
    }
  }

 private:
  ArrivalBinding Binding() const { return {ctx_.capture_id(), LocalTimeNow(), ctx_.settings()}; }

  void WatchAnew(const fs::path& folder,
                 const std::optional<std::pair<std::uint64_t, std::uint64_t>>& identity) {
    // The watch comes first, so nothing that arrives during the listing is missed.
    events_ = identity && ctx_.events.Watch(folder);
    scanner_ = WatchFolderScanner();
    const auto entries = identity ? ListDirectory(folder) : std::nullopt;
    StillArrivals& arrivals = ctx_.memory.arrivals;
    if (start_over_ || arrivals.folder() != folder) {
      arrivals.Rebase(folder, entries.value_or(std::vector<DirectoryEntry>{}));
      start_over_ = false;
    } else if (entries) {
      // The same folder after a pause, or remounted: what is new arrived meanwhile. What a
      // remount or a replaced folder does not show may come back, so it is not forgotten.
      arrivals.NoteListing(*entries, Binding(), identity == identity_);
    }
    watched_ = folder;
    identity_ = identity;
    if (announced_ != folder && ctx_.on_watching) ctx_.on_watching(folder, events_);
    announced_ = folder;
  }

  FolderMonitorContext& ctx_;
  bool start_over_;
  std::optional<fs::path> watched_;
  std::optional<fs::path> announced_;  // the folder on_watching was last called with
  std::optional<std::pair<std::uint64_t, std::uint64_t>> identity_;
  bool events_ = false;
  WatchFolderScanner scanner_;
  Cp932Text reported_problem_;
};

// The transfer folder a still's settings name, as a path; nullopt when none is set (the
// target's search reports that).
std::optional<fs::path> TransferFolderOf(const ArrivedStill& still, const ProgramDir& program_dir) {
  return FolderFromSlot(still.binding.settings[SettingSlot::TransferFolder], program_dir, nullptr);
}

// The default transfer folder lies in the program folder, on the station's own disk: it is
// made when missing. Any other one (a file server's share) is never made, so nothing is
// written where a share should be.
void MakeFolderInProgramFolder(const fs::path& folder, const ProgramDir& program_dir) {
  const fs::path relative = folder.lexically_normal().lexically_relative(program_dir.path);
  if (relative.empty() || *relative.begin() == "..") return;
  std::error_code ec;
  fs::create_directories(folder, ec);
}

// A text of our own, about no still in particular.
void SayAboutNoStill(LastErrorText& errors, const Cp932Text& text) {
  const ScopedMessageSubject none("");
  errors.Set(text);
}

Cp932Text WaitingText(std::size_t count) {
  return Cp932Text(std::to_string(count) + (count == 1 ? " still waiting " : " stills waiting "));
}

// Transfers one still with what held when it arrived. A still found by a listing is first
// waited for until it is complete; one whose writer closed it, or that was moved in, is
// complete already. Its trouble is reported under its name and never ends the thread; a
// failure on the writing side is reported at its first try only, as it is tried again.
// `completeness` tells how the wait ended; kStopped when the finishing was abandoned, and
// then nothing was done.
TransferOutcome TransferStill(FolderMonitorContext& ctx, const ArrivedStill& still,
                              Completeness* completeness_out) {
  TransferRetry& retry = ctx.memory.retry;
  // Every failure and library message from here on names this still.
  const ScopedMessageSubject subject(still.path.string());
  if (ctx.in_hand) ctx.in_hand->Set(still.path);
  // A stop does not cut the wait short (the still in hand is finished); an abandon does.
  const Completeness completeness =
      still.known_complete ? Completeness::kComplete
                           : WaitUntilComplete(still.path, ctx.abandon, ctx.timing.completeness);
  *completeness_out = completeness;
  if (completeness == Completeness::kStopped) return {};
  const auto now_there = QueryDirectoryEntry(still.path.parent_path(), still.identity.name);
  if (completeness == Completeness::kVanished || !now_there ||
      !(IdentityOf(*now_there) == still.identity)) {
    // Deleted, renamed away or saved over before it could be read.
    ctx.errors.Set(Cp932Text("image vanished! "));
    return {};
  }
  const ArrivalBinding& held = still.binding;
  if (const auto folder = TransferFolderOf(still, ctx.program_dir)) {
    MakeFolderInProgramFolder(*folder, ctx.program_dir);
    if (!ctx.memory.transfer_folders.Available(*folder)) {
      if (!retry.unavailable_reported) {
        SayAboutNoStill(
            ctx.errors,
            Cp932Text("transfer folder not available: ") +
                FolderInProgramDir(ctx.program_dir, held.settings[SettingSlot::TransferFolder]));
        retry.unavailable_reported = true;
      }
      return {std::nullopt, true};
    }
  }
  retry.unavailable_reported = false;
  // The failures of a try again are not said again.
  LastErrorText attempt;
  TransferOutcome outcome;
  try {
    outcome = TransferOneImage(still.path, held.settings, held.capture_id, held.clock,
                               ctx.program_dir, ctx.pipeline, attempt, ctx.messages);
  } catch (const std::bad_alloc&) {
    attempt.Set(Cp932Text("out of memory! "));
  } catch (const std::exception&) {
    attempt.Set(Cp932Text("image processing error! "));
  }
  // A half-written image is better tried late than lost; a failure then names the cause.
  if (!outcome.target && !outcome.retry && completeness == Completeness::kTimedOut) {
    attempt.Set(Cp932Text("image not complete! "));
  }
  if (attempt.Generation() != 0 && (!outcome.retry || retry.failures == 0)) {
    const LastErrorText::Entry said = attempt.Latest();
    ctx.errors.Set(said.text, said.detail);
  }
  return outcome;
}

// Whether the still held back for its missing transfer folder can go before its back-off has
// run out: the folder is there again (a share mounted again is seen within one look).
bool TransferFolderReturned(FolderMonitorContext& ctx) {
  const ArrivedStill* held = ctx.memory.arrivals.held();
  if (!held || !ctx.memory.retry.unavailable_reported) return false;
  const auto folder = TransferFolderOf(*held, ctx.program_dir);
  return folder && ctx.memory.transfer_folders.Available(*folder);
}

// Keeps the journal in step with the stills not yet transferred. A journal that cannot be
// written is said once until it can.
void UpdateJournal(FolderMonitorContext& ctx, const StillJournal& journal, bool force) {
  StillArrivals& arrivals = ctx.memory.arrivals;
  if (!force && arrivals.arrivals() == ctx.memory.journalled_arrivals) return;
  const bool written = journal.Write(arrivals.Pending());
  if (!written && ctx.memory.journalled_arrivals != kJournalNotWritten) {
    SayAboutNoStill(ctx.errors, Cp932Text("journal write error! "));
  }
  ctx.memory.journalled_arrivals = written ? arrivals.arrivals() : kJournalNotWritten;
}

// Says how many stills wait while the head of the line cannot be sent: at its first try
// again, and each time more wait.
void SayWaiting(FolderMonitorContext& ctx) {
  TransferRetry& retry = ctx.memory.retry;
  const std::size_t waiting = ctx.memory.arrivals.WaitingCount();
  if (retry.failures == 0 || waiting <= retry.reported_waiting) return;
  SayAboutNoStill(ctx.errors, WaitingText(waiting));
  retry.reported_waiting = waiting;
}

}  // namespace

void RunFolderMonitor(std::stop_token stop, FolderMonitorContext& ctx) {
  ctx.image_count.store(0);
  if (ctx.in_hand) {
    ctx.in_hand->SetRunning(true);
    ctx.in_hand->SetLeft(std::nullopt);
  }
  FolderWatch watch(ctx, ctx.memory.start_over.exchange(false));
  StillArrivals& arrivals = ctx.memory.arrivals;
  TransferRetry& retry = ctx.memory.retry;
  const StillJournal journal(ctx.program_dir);
  // Where the transfer folder lies now is where it must lie for every still.
  const auto transfer_folder =
      FolderFromSlot(ctx.settings()[SettingSlot::TransferFolder], ctx.program_dir, nullptr);
  if (transfer_folder) {
    MakeFolderInProgramFolder(*transfer_folder, ctx.program_dir);
    ctx.memory.transfer_folders.Remember(*transfer_folder);
  }
  // When the stop came: writers still at work are waited for until the completeness bound.
  std::optional<std::chrono::steady_clock::time_point> stopped_at;
  bool abandoned = false;
  while (true) {
    const auto until_retry = retry.next_try - ctx.timing.clock();
    const bool held_back =
        retry.failures > 0 && until_retry.count() > 0 && !TransferFolderReturned(ctx);
    if (stop.stop_requested()) {
      // What arrived before the stop is finished, also when its event was not read yet. Stills
      // that cannot be sent now, or whose finishing is abandoned, wait for the next run, in
      // memory and in the journal.
      if (!stopped_at) {
        watch.Look(std::stop_token(), std::chrono::milliseconds(0));
        UpdateJournal(ctx, journal, false);
        stopped_at = ctx.timing.clock();
      }
      if (ctx.abandon.stop_requested()) {
        abandoned = true;
        break;
      }
      if (retry.failures > 0) break;
      if (!arrivals.HasWaiting()) {
        const ArrivedStill* writing = arrivals.OldestBeingWritten();
        if (!writing) break;
        const auto left = *stopped_at + ctx.timing.completeness.max_wait - ctx.timing.clock();
        if (left.count() > 0) {
          // A still whose writer is still at work is taken the moment its writer closes it.
          if (ctx.in_hand) ctx.in_hand->Set(writing->path);
          watch.Look(ctx.abandon, std::min(ctx.timing.idle_period,
                                           std::chrono::ceil<std::chrono::milliseconds>(left)));
          UpdateJournal(ctx, journal, false);
          continue;
        }
        // A writer that never closes: its still is taken once it has stopped changing.
        arrivals.StopWaitingForWriters();
      }
    } else if (!arrivals.HasWaiting() || held_back) {
      if (ctx.in_hand) ctx.in_hand->Clear();
      auto wait = ctx.timing.idle_period;
      if (held_back) {
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(until_retry));
      }
      watch.Look(stop, wait);
      UpdateJournal(ctx, journal, false);
      SayWaiting(ctx);
      continue;
    } else {
      // No pause while a still is waiting: only the events that came meanwhile are read.
      watch.Look(stop, std::chrono::milliseconds(0));
      UpdateJournal(ctx, journal, false);
    }
    ArrivedStill still = arrivals.TakeOldest();
    if (still.count == 0) still.count = ctx.image_count.fetch_add(1) + 1;
    if (ctx.before_transfer) ctx.before_transfer(still);
    Completeness completeness = Completeness::kComplete;
    const TransferOutcome outcome = TransferStill(ctx, still, &completeness);
    if (completeness == Completeness::kStopped) {
      // Abandoned while it was waited for: it stays at the head of the line.
      arrivals.HoldBack(std::move(still));
      abandoned = true;
      break;
    }
    if (ctx.in_hand) ctx.in_hand->Clear();
    if (outcome.retry) {
      if (retry.failures == 0) retry.reported_waiting = 0;
      ++retry.failures;
      auto pause = ctx.timing.first_retry;
      for (int i = 1; i < retry.failures && pause < ctx.timing.last_retry; ++i) pause *= 2;
      retry.next_try = ctx.timing.clock() + std::min(pause, ctx.timing.last_retry);
      arrivals.HoldBack(std::move(still));
      // The count is said after the next look, so it never hides the failure's own text
      // within one tick of the window or the headless line.
      continue;
    }
    retry.failures = 0;
    if (outcome.target) {
      if (ctx.on_transferred) ctx.on_transferred(still, *outcome.target);
    } else {
      arrivals.NoteUnreadable(std::move(still), completeness == Completeness::kTimedOut);
    }
    UpdateJournal(ctx, journal, true);
    if (retry.reported_waiting > 0 && !arrivals.HasWaiting()) {
      SayAboutNoStill(ctx.errors, Cp932Text("all waiting stills sent "));
      retry.reported_waiting = 0;
    }
  }
  if (ctx.in_hand) {
    if (abandoned) ctx.in_hand->SetLeft(ctx.in_hand->Get());
    ctx.in_hand->Clear();
    ctx.in_hand->SetRunning(false);
  }
}

}  // namespace velmarin
