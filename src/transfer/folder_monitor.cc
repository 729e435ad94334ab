#include "transfer/folder_monitor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <new>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "base/errno_text.h"
#include "base/message_subject.h"
#include "base/stale_temporaries.h"
#include "base/state_fields.h"
#include "image/dib.h"
#include "platform/encoding.h"
#include "settings/program_dir.h"
#include "transfer/claimed_target.h"
#include "transfer/still_journal.h"
#include "transfer/watch_folder_record.h"
#include "transfer/watch_folder_scanner.h"
#include "transfer/work_files.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;

// FolderMonitorMemory::journalled_arrivals after a failed write: the next look writes again.
constexpr std::uint64_t kJournalNotWritten = ~std::uint64_t{0};
// How long a still waits for its watch folder to come back (a network folder that drops).
constexpr std::chrono::milliseconds kFolderAwayLimit{60'000};
// How long the memory of the last picture is kept for the next one: stills of one sitting
// come seconds apart, and a fresh block costs the kernel a zeroing of every page (about a
// tenth of a 24-megapixel still's time).
constexpr std::chrono::seconds kPictureMemoryKeptWhileIdle{30};

}  // namespace

void RemoveStaleTemporariesAtStartUp(const Settings& settings, const ProgramDir& program_dir,
                                     std::string_view own_mark) {
  RemoveStaleTemporaries(program_dir.path);
  RemoveStaleTemporaries(program_dir.path / kBackupFolderName);
  const auto transfer = FolderFromSlot(settings[SettingSlot::TransferFolder], program_dir, nullptr);
  if (!transfer) return;
  RemoveStaleTemporaries(*transfer, kStaleTemporaryAge, own_mark);
  std::error_code ec;
  for (fs::directory_iterator it(*transfer, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      RemoveStaleTemporaries(it->path(), kStaleTemporaryAge, own_mark);
    }
  }
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

// The inode number of a file made without a name (O_TMPFILE) whose close this is: the kernel
// names such a file "#" and its inode number, also once it is linked into the folder.
std::optional<std::uint64_t> UnnamedFileInode(const FolderEvent& event) {
  if (event.kind != FolderEvent::Kind::kClosedAfterWrite || !event.name.starts_with('#')) {
    return std::nullopt;
  }
  return NumberField<std::uint64_t>(std::string_view(event.name).substr(1));
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
    std::string why;
    const auto folder = FolderFromSlot(settings[SettingSlot::WatchFolder], ctx_.program_dir, &why);
    if (!folder) {
      // An unusable setting counts as an empty folder and is reported once, until it changes.
      const Cp932Text problem("watch " + why);
      if (problem != reported_problem_) ctx_.errors.Set(problem);
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
    StillArrivals& arrivals = ctx_.memory.arrivals;
    bool overflow = false;
    for (const FolderEvent& event : events) {
      switch (event.kind) {
        case FolderEvent::Kind::kOverflow:
          overflow = true;
          break;
        case FolderEvent::Kind::kFolderGone:
          watched_.reset();  // watched anew at the next look
          break;
        case FolderEvent::Kind::kRemoved:
          arrivals.NoteRemoved(event.name);
          break;
        default:
          if (const auto entry = QueryDirectoryEntry(*folder, event.name)) {
            arrivals.Note(*entry, SightingOf(event.kind), binding());
          } else if (const auto inode = UnnamedFileInode(event)) {
            arrivals.NoteClosedByInode(*inode, binding());
          } else {
            arrivals.NoteRemoved(event.name);
          }
      }
    }
    if (watched_ && overflow) {
      // Events were lost: a whole listing decides, and a writer whose close may have been
      // lost is waited for no longer; its still is taken once it has stopped changing.
      scanner_.Reset();
      if (const auto listing = scanner_.Scan(*folder)) {
        arrivals.NoteListing(listing->changed, binding(), true);
      }
      arrivals.StopWaitingForWriters();
    } else if (watched_ && !events_) {
      if (const auto changes = scanner_.Scan(*folder, arrivals.NamesToWatch())) {
        if (changes->whole) {
          // Another folder came to its path during the wait: it is watched anew, so the
          // stills it holds from before are known again.
          WatchAnew(*folder, FolderIdentityOf(*folder));
          return;
        }
        for (const std::string& name : changes->removed) arrivals.NoteRemoved(name);
        for (const DirectoryEntry& entry : changes->changed) {
          arrivals.Note(entry, Sighting::kListed, binding());
        }
      }
    }
    // A writer that neither closes its file nor lets it be for the completeness bound is not
    // waited for any longer.
    arrivals.StopWaitingForWritersOlderThan(ctx_.timing.completeness.max_wait);
  }

 private:
  ArrivalBinding Binding() const { return {ctx_.capture_id(), LocalTimeNow(), ctx_.settings()}; }

  void WatchAnew(const fs::path& folder,
                 const std::optional<std::pair<std::uint64_t, std::uint64_t>>& identity) {
    // The watch comes first, so nothing that arrives during the listing is missed.
    events_ = identity && ctx_.events.Watch(folder);
    scanner_.Reset();
    std::optional<std::vector<DirectoryEntry>> entries;
    if (identity) {
      if (auto listing = scanner_.Scan(folder)) entries = std::move(listing->changed);
    }
    StillArrivals& arrivals = ctx_.memory.arrivals;
    arrivals.SetFolderIdentity(identity.value_or(std::pair<std::uint64_t, std::uint64_t>{}));
    bool returned = false;
    if (start_over_ || arrivals.folder() != folder) {
      arrivals.Rebase(folder, entries.value_or(std::vector<DirectoryEntry>{}));
      start_over_ = false;
    } else if (entries && identity == identity_) {
      // The same folder after a pause: what is new arrived meanwhile.
      arrivals.NoteListing(*entries, Binding(), true);
    } else if (entries) {
      // The folder went and came back (a remount, a folder made again or put in its place, a
      // run after a settings command): the stills it held before are not new.
      returned = arrivals.NoteReturn(*entries, Binding()) > 0 || watched_ == folder;
    }
    watched_ = folder;
    identity_ = identity;
    if ((announced_ != folder || (returned && identity)) && ctx_.on_watching) {
      ctx_.on_watching(folder, events_);
    }
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

// A text of our own, about no still in particular, with the system's reason if any.
void SayAboutNoStill(LastErrorText& errors, const Cp932Text& text, const std::string& reason = {}) {
  const ScopedMessageSubject none("");
  errors.Set(text, Utf8ToCp932Replacing(reason));
}

// The still waits for its transfer folder, which is not there or not where it was: said once
// until a still goes through.
TransferOutcome WaitForTransferFolder(FolderMonitorContext& ctx, const ArrivedStill& still) {
  TransferRetry& retry = ctx.memory.retry;
  if (!retry.unavailable_reported) {
    SayAboutNoStill(ctx.errors,
                    Cp932Text("transfer folder not available: ") +
                        FolderInProgramDir(ctx.program_dir,
                                           still.binding.settings[SettingSlot::TransferFolder]));
    retry.unavailable_reported = true;
  }
  return {std::nullopt, true};
}

// Whether the still is no longer the version `read` that was taken: written on while it was
// read (a writer that closed it, opened it again and is still at work). Gone or replaced by
// another file, it was read whole before.
bool ChangedSinceTaken(const ArrivedStill& still, const DirectoryEntry& read) {
  const auto now = QueryDirectoryEntry(still.path.parent_path(), still.identity.name);
  return now && IdentityOf(*now) == still.identity && !(VersionOf(*now) == VersionOf(read));
}

// The claim's hook: an image read from a still that changed meanwhile is held back (*changed
// set), unless the still was taken at the completeness bound because it never stopped
// changing (`changed` null: it would never be whole); otherwise the journal names the target
// the still's image is about to claim, with the image's content, before the claim.
TransferTarget::BeforeClaim NoteClaimIn(FolderMonitorContext& ctx, StillJournal& journal,
                                        ArrivedStill& still, const DirectoryEntry& read,
                                        bool* changed) {
  return [&ctx, &journal, &still, &read, changed,
          hashed = std::optional<std::pair<fs::path, std::string>>()](
             const AtPath& temporary, const fs::path& name) mutable {
    if (changed && ChangedSinceTaken(still, read)) {
      *changed = true;
      return false;
    }
    if (!hashed || hashed->first != temporary.path) {
      const auto hash = ContentHash(temporary);
      if (!hash) return true;  // unreadable: nothing to know the image by after a crash
      hashed.emplace(temporary.path, *hash);
    }
    still.claimed = ClaimedTarget{name, hashed->second};
    if (!journal.NoteClaim(still) && ctx.memory.journalled_arrivals != kJournalNotWritten) {
      SayAboutNoStill(ctx.errors, Cp932Text("journal write error! "), ErrnoText(errno));
      ctx.memory.journalled_arrivals = kJournalNotWritten;
    }
    return true;
  };
}

// The boxes of a still's transfer, kept until it is known whether they are said.
class HeldBoxes : public MessageSink {
 public:
  void ShowMessage(const Cp932Text& text) override { texts.emplace_back(text); }
  void ShowOwnMessage(const OwnMessage& message) override { texts.emplace_back(message); }
  std::vector<std::variant<Cp932Text, OwnMessage>> texts;
};

// Says what a still's failed transfer said, under its name.
void SayFailure(FolderMonitorContext& ctx, const fs::path& still, const HeldFailure& failure) {
  const ScopedMessageSubject subject(still.string());
  for (const auto& box : failure.messages) {
    if (const auto* text = std::get_if<Cp932Text>(&box)) {
      ctx.messages.ShowMessage(*text);
    } else {
      ctx.messages.ShowOwnMessage(std::get<OwnMessage>(box));
    }
  }
  if (!failure.text.empty()) ctx.errors.Set(failure.text, failure.detail);
}

// Transfers one still with what held when it arrived. A still found by a listing is first
// waited for until it is complete; one whose writer closed it, or that was moved in, is
// complete already. Its trouble is reported under its name and never ends the thread; a
// failure on the writing side is reported at its first try only, as it is tried again.
// The transfer folder is held open from its check until the image has its name, and the
// image counts as sent only if the folder is then still the one its path leads to: an image
// that went to a share unmounted meanwhile is removed again and waits, as for an outage.
// `completeness` tells how the wait ended; kStopped when the finishing was abandoned, and
// then nothing was done. A failure of the still itself (it does not decode) is not said
// but given in `failure` when its writer may not be done with it (it was not moved in whole).
TransferOutcome TransferStill(FolderMonitorContext& ctx, StillJournal& journal, ArrivedStill& still,
                              Completeness* completeness_out, std::optional<HeldFailure>* failure) {
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
  ctx.memory.arrivals.NoteTaken(still.path, *now_there);
  const ArrivalBinding& held = still.binding;
  TransferFolderCheck& check = ctx.memory.transfer_folders;
  const auto folder = TransferFolderOf(still, ctx.program_dir);
  std::optional<UniqueFd> opened;
  if (folder) {
    MakeFolderInProgramFolder(*folder, ctx.program_dir);
    opened = check.Open(*folder);
    if (!opened) return WaitForTransferFolder(ctx, still);
  }
  retry.unavailable_reported = false;
  const OpenTransferFolder target_folder{opened ? opened->get() : AT_FDCWD,
                                         folder.value_or(fs::path()), check.temporary_mark()};
  // Whether the folder held open is still the one its path leads to.
  const auto still_there = [&] { return !opened || check.Holds(*folder, *opened); };
  // Its image claimed its name in a run that ended before the journal could say so.
  if (still.claimed && WasSent(*still.claimed, target_folder) && still_there()) {
    return {still.claimed->target};
  }
  // The failures of a try again are not said again.
  LastErrorText attempt;
  HeldBoxes boxes;
  TransferOutcome outcome;
  bool changed = false;
  try {
    outcome =
        TransferOneImage(still.path, held.settings, held.capture_id, held.clock, ctx.program_dir,
                         target_folder, ctx.pipeline, attempt, boxes,
                         NoteClaimIn(ctx, journal, still, *now_there,
                                     completeness == Completeness::kTimedOut ? nullptr : &changed));
  } catch (const std::bad_alloc&) {
    attempt.Set(Cp932Text("out of memory! "));
  } catch (const std::exception&) {
    attempt.Set(Cp932Text("image processing error! "));
  }
  // What was read may be half of it: nothing is said, and the still is read again.
  if (changed) {
    outcome = {};
    outcome.read_again = true;
    return outcome;
  }
  // A half-written image is better tried late than lost; a failure then names the cause.
  if (!outcome.target && !outcome.retry && completeness == Completeness::kTimedOut) {
    attempt.Set(Cp932Text("image not complete! "));
  }
  HeldFailure said{boxes.texts, {}, {}};
  if (attempt.Generation() != 0 && (!outcome.retry || retry.failures == 0)) {
    const LastErrorText::Entry latest = attempt.Latest();
    said.text = latest.text;
    said.detail = latest.detail;
  }
  if (outcome.unreadable && completeness != Completeness::kTimedOut && !still.moved_in) {
    *failure = std::move(said);
  } else {
    SayFailure(ctx, still.path, said);
  }
  if (outcome.target && !still_there()) {
    ::unlinkat(opened->get(), LocateIn(target_folder, *outcome.target).path.c_str(), 0);
    return WaitForTransferFolder(ctx, still);
  }
  if (outcome.target && ctx.after_claim) ctx.after_claim(still);
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

// Keeps the record of what was seen in the watch folder in step, for the next start.
void UpdateRecord(FolderMonitorContext& ctx) {
  StillArrivals& arrivals = ctx.memory.arrivals;
  if (arrivals.folder().empty()) return;
  arrivals.SetRecordedId(ctx.capture_id());
  const std::uint64_t changes = arrivals.record().changes();
  if (changes == ctx.memory.recorded_changes) return;
  if (WriteWatchFolderRecord(ctx.program_dir, arrivals.record())) {
    ctx.memory.recorded_changes = changes;
  }
}

// Keeps the journal in step with the stills not yet transferred. A journal that cannot be
// written is said once until it can. The record of the stills seen goes first: a still that
// leaves the journal is in it, so the next start never takes it again.
void UpdateJournal(FolderMonitorContext& ctx, StillJournal& journal, bool force) {
  UpdateRecord(ctx);
  StillArrivals& arrivals = ctx.memory.arrivals;
  if (!force && arrivals.arrivals() == ctx.memory.journalled_arrivals) return;
  const bool written = journal.Write(arrivals.Pending());
  if (!written && ctx.memory.journalled_arrivals != kJournalNotWritten) {
    SayAboutNoStill(ctx.errors, Cp932Text("journal write error! "), ErrnoText(errno));
  }
  ctx.memory.journalled_arrivals = written ? arrivals.arrivals() : kJournalNotWritten;
}

// Says why a still is given up, and tells who listens.
void GiveUp(FolderMonitorContext& ctx, const fs::path& still, const HeldFailure& failure) {
  SayFailure(ctx, still, failure);
  if (ctx.on_failed) ctx.on_failed(still);
}

// Says the failures of stills whose writers did not come back to them in time.
void SayFailuresDue(FolderMonitorContext& ctx, std::chrono::steady_clock::time_point now) {
  for (const auto& [still, failure] : ctx.memory.arrivals.FailuresDue(now)) {
    GiveUp(ctx, still, failure);
  }
}

// A still that failed to decode right after its writer's close may be written on (a writer
// that appends, or pauses): its failure is held until it has not changed for the
// completeness bound, and it is taken again if it does. Anything else is said now.
void NoteFailed(FolderMonitorContext& ctx, ArrivedStill still, Completeness completeness,
                std::optional<HeldFailure> failure) {
  StillArrivals& arrivals = ctx.memory.arrivals;
  const bool never_complete = completeness == Completeness::kTimedOut;
  if (failure) {
    const auto entry = QueryDirectoryEntry(still.path.parent_path(), still.identity.name);
    const auto written = std::chrono::system_clock::now().time_since_epoch() -
                         std::chrono::nanoseconds(entry ? entry->modified_ns : 0);
    const auto left = ctx.timing.completeness.max_wait - written;
    if (left.count() > 0) {
      const fs::path path = still.path;
      const auto say_at = ctx.timing.clock() + std::chrono::ceil<std::chrono::milliseconds>(left);
      if (arrivals.NoteUnreadable(std::move(still), never_complete, failure, say_at)) return;
      GiveUp(ctx, path, *failure);
      return;
    }
    GiveUp(ctx, still.path, *failure);
  } else if (ctx.on_failed) {
    ctx.on_failed(still.path);
  }
  arrivals.NoteUnreadable(std::move(still), never_complete);
}

// Whether the still at the head of the line is missing because its watch folder is gone or
// another one is in its place (a network folder that dropped, a remount under way): it waits
// for the folder to come back, `limit` at most, instead of being given up as vanished.
bool WaitsForItsFolder(FolderMonitorContext& ctx, std::chrono::milliseconds limit) {
  StillArrivals& arrivals = ctx.memory.arrivals;
  const ArrivedStill* still = arrivals.Next();
  const auto away = [&] {
    if (!still || still->folder_identity == std::pair<std::uint64_t, std::uint64_t>{} ||
        still->path.parent_path() != arrivals.folder() ||
        FolderIdentityOf(arrivals.folder()) == still->folder_identity) {
      return false;
    }
    const auto entry = QueryDirectoryEntry(arrivals.folder(), still->identity.name);
    return !entry || !(IdentityOf(*entry) == still->identity);
  }();
  auto& since = ctx.memory.folder_away_since;
  if (!away) {
    since.reset();
    return false;
  }
  const auto now = ctx.timing.clock();
  if (!since) since = now;
  return now - *since < limit;
}

// Counts a still saved while the program was not running out of the line; once the last of
// them has left, says how many were sent.
void NoteStoppedStillLeft(FolderMonitorContext& ctx, const ArrivedStill& still, bool sent) {
  FolderMonitorMemory& memory = ctx.memory;
  if (!still.saved_while_stopped || memory.stopped_stills_left == 0) return;
  if (sent) ++memory.stopped_stills_sent;
  if (--memory.stopped_stills_left > 0 || memory.stopped_stills_sent == 0) return;
  const std::size_t count = memory.stopped_stills_sent;
  SayAboutNoStill(ctx.errors,
                  Cp932Text(std::to_string(count) + (count == 1 ? " still" : " stills") +
                            " saved while Velmarin was not running sent"));
  memory.stopped_stills_sent = 0;
}

// Once every still taken again from the last run's journal has gone, says how many of them
// were sent ("N stills from the last run sent "), once.
void SayLastRunSent(FolderMonitorContext& ctx) {
  int& sent = ctx.memory.last_run_sent;
  if (sent == 0) return;
  for (const ArrivedStill* still : ctx.memory.arrivals.Pending()) {
    if (still->from_last_run) return;
  }
  SayAboutNoStill(ctx.errors, Cp932Text(std::to_string(sent) + (sent == 1 ? " still" : " stills") +
                                        " from the last run sent "));
  sent = 0;
}

// Says how many stills wait while the head of the line cannot be sent, each time more wait
// than were said (the failure of the first said why it waits).
void SayWaiting(FolderMonitorContext& ctx) {
  TransferRetry& retry = ctx.memory.retry;
  const std::size_t waiting = ctx.memory.arrivals.WaitingCount();
  if (retry.failures == 0 || waiting <= retry.reported_waiting) return;
  SayAboutNoStill(ctx.errors, Cp932Text(std::to_string(waiting) + " stills waiting "));
  retry.reported_waiting = waiting;
  if (ctx.on_waiting) ctx.on_waiting(waiting);
}

}  // namespace

void RunFolderMonitor(std::stop_token stop, FolderMonitorContext& ctx) {
  ctx.image_count.store(0);
  if (ctx.in_hand) ctx.in_hand->SetLeft(std::nullopt);
  FolderWatch watch(ctx, ctx.memory.start_over.exchange(false));
  StillArrivals& arrivals = ctx.memory.arrivals;
  arrivals.SetClock(ctx.timing.clock);
  TransferRetry& retry = ctx.memory.retry;
  StillJournal journal(ctx.program_dir);
  // Where the transfer folder lies now is where it must lie for every still.
  const auto transfer_folder =
      FolderFromSlot(ctx.settings()[SettingSlot::TransferFolder], ctx.program_dir, nullptr);
  if (transfer_folder) {
    MakeFolderInProgramFolder(*transfer_folder, ctx.program_dir);
    ctx.memory.transfer_folders.Choose(*transfer_folder);
  }
  // When the stop came: writers still at work are waited for until the completeness bound.
  std::optional<std::chrono::steady_clock::time_point> stopped_at;
  bool abandoned = false;
  while (true) {
    const auto until_retry = retry.next_try - ctx.timing.clock();
    const bool held_back =
        retry.failures > 0 && until_retry.count() > 0 && !TransferFolderReturned(ctx);
    SayFailuresDue(ctx, ctx.timing.clock());
    const bool folder_away = WaitsForItsFolder(ctx, kFolderAwayLimit);
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
      if (retry.failures > 0 || folder_away) break;
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
    } else if (!arrivals.HasWaiting() || held_back || folder_away) {
      if (ctx.in_hand) ctx.in_hand->Clear();
      // The memory kept for the next picture goes back once no still has come for a while.
      ReleaseSparePictureMemory(kPictureMemoryKeptWhileIdle);
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
    if (ctx.before_transfer) ctx.before_transfer(still);
    Completeness completeness = Completeness::kComplete;
    const std::uint64_t said_before = ctx.errors.Generation();
    std::optional<HeldFailure> failure;
    const TransferOutcome outcome = TransferStill(ctx, journal, still, &completeness, &failure);
    if (completeness == Completeness::kStopped) {
      // Abandoned while it was waited for: it stays at the head of the line.
      arrivals.HoldBack(std::move(still));
      abandoned = true;
      break;
    }
    if (ctx.in_hand) ctx.in_hand->Clear();
    if (outcome.read_again) {
      // Its writer is at work again: taken once it has stopped changing.
      still.known_complete = false;
      arrivals.HoldBack(std::move(still));
      continue;
    }
    if (outcome.retry) {
      // The failure's own text says why the first still waits; the count is said once more
      // wait, so it never takes that text's place (in the title, or within one tick of the
      // headless line when the look after it returns at once).
      if (retry.failures == 0) retry.reported_waiting = 1;
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
    NoteStoppedStillLeft(ctx, still, outcome.target.has_value());
    const bool from_last_run = still.from_last_run;
    if (outcome.target) {
      // A failure said before is over now that a still went through (the one it was about,
      // written again, or a later one); this still's own notes stay. Cleared before the count
      // moves, so whoever sees the new count sees the title without it.
      ctx.errors.ClearUnlessSetSince(said_before);
      // ImageCount counts the stills that went out; one of the last run, or one saved while
      // the program was not running, goes out under the last run's ID and is not counted
      // against this one.
      if (from_last_run) {
        ++ctx.memory.last_run_sent;
      } else if (!still.saved_while_stopped) {
        still.count = ctx.image_count.fetch_add(1) + 1;
      }
      if (ctx.on_transferred) {
        ctx.on_transferred(
            {still.count, still.path, *outcome.target, still.binding.capture_id, still});
      }
    } else {
      NoteFailed(ctx, std::move(still), completeness, std::move(failure));
    }
    UpdateJournal(ctx, journal, true);
    if (from_last_run) SayLastRunSent(ctx);
    if (retry.reported_waiting > 0 && !arrivals.HasWaiting()) {
      SayAboutNoStill(ctx.errors, Cp932Text("all waiting stills sent "));
      retry.reported_waiting = 0;
      if (ctx.on_waiting) ctx.on_waiting(0);
    }
  }
  // Nothing held back is left unsaid when the run ends.
  SayFailuresDue(ctx, std::chrono::steady_clock::time_point::max());
  // "監視停止": what is saved from now on is not to be taken at the next start.
  if (ctx.memory.start_over) RemoveWatchFolderRecord(ctx.program_dir);
  if (ctx.in_hand) {
    if (abandoned) ctx.in_hand->SetLeft(ctx.in_hand->Get());
    ctx.in_hand->Clear();
  }
  ReleaseSparePictureMemory();
}

}  // namespace velmarin
