#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/last_error_text.h"
#include "base/message_sink.h"
#include "image/image_result.h"
#include "naming/local_time.h"
#include "naming/transfer_path.h"
#include "platform/folder_events.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "transfer/image_completeness.h"
#include "transfer/still_arrivals.h"
#include "transfer/transfer_folder_check.h"
#include "transfer/work_files.h"

namespace velmarin {

// The steps that turn one captured image into its transferred file, one method each so the
// folder thread can be exercised without decoding pictures. Each step says what it ran into;
// TransferOneImage reports it (ReportImageResult).
class TransferPipeline {
 public:
  virtual ~TransferPipeline() = default;

  // The target of the image as the serial search finds it, folders created; nullopt with
  // `error` (UTF-8, it may quote a path) when none can be had.
  virtual std::optional<TransferTarget> BuildTarget(const Settings& settings,
                                                    const Cp932Text& capture_id,
                                                    const LocalTime& now, std::string* error) = 0;
  // A BMP or PNG still to a JPEG file at quality 99.
  virtual ImageResult ConvertToJpeg(const std::filesystem::path& still,
                                    const std::filesystem::path& jpeg) = 0;
  // JPEG file to the work file with a width that is a multiple of four.
  virtual ImageResult NormalizeWidth(const std::filesystem::path& jpeg,
                                     const std::filesystem::path& work_file) = 0;
  // Work file to the target: range fill, stamps, JPEG at the configured quality. The
  // finished file takes its name through `target`, so `target.name()` is then its real name.
  // Notes of its own about a done image go to `errors`.
  virtual ImageResult Process(const std::filesystem::path& work_file, FileNaming& target,
                              const Settings& settings, const Cp932Text& capture_id,
                              const LocalTime& now, LastErrorText& errors) = 0;
};

// One image's way from the watch folder to the transfer folder, named and stamped with
// `capture_id` and `now`: target first (its serial number is searched now), a BMP or PNG
// through "temp.jpg", then "444.jpg", then the target, which
// with a serial claims its name and moves on to the next number when another program took
// it meanwhile. Both work files are deleted before they are written, and every step's result
// is checked, so an earlier image is never passed on under this image's name. A target that
// would land in the watch folder itself is refused ("transfer target in watch folder! "),
// as the next scan would take it again as a new capture. Returns the
// path the image really got, or why it was not (the reason is in `errors` or went to
// `messages`).
struct TransferOutcome {
  std::optional<std::filesystem::path> target;  // the name the image got
  // Not transferred for a reason on the writing side (a folder missing or moved, no space,
  // an I/O error, no permission): trying again later may succeed. False when the still
  // itself cannot be read, or the settings can never give it a target.
  bool retry = false;
};
TransferOutcome TransferOneImage(const std::filesystem::path& source, const Settings& settings,
                                 const Cp932Text& capture_id, const LocalTime& now,
                                 const ProgramDir& program_dir, TransferPipeline& pipeline,
                                 LastErrorText& errors, MessageSink& messages);

// Removes what killed runs left in the folders the program writes (RemoveStaleTemporaries):
// the program folder, "bkup", the transfer folder and the folders directly in it (where the
// default template puts each year). At start-up, before anything is written.
void RemoveStaleTemporariesAtStartUp(const Settings& settings, const ProgramDir& program_dir);

struct FolderMonitorTiming {
  // The longest wait for file events; without them, the period of the folder's listing.
  std::chrono::milliseconds idle_period{500};
  CompletenessLimits completeness;  // for stills found by a listing only
  // A still that failed on the writing side is tried again after `first_retry`, then after
  // twice as long at every failure, at most `last_retry`.
  std::chrono::milliseconds first_retry{2000};
  std::chrono::milliseconds last_retry{60'000};
  std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
};

// The transfer of the still at the head of the line failed on the writing side: every still
// waits until it is tried again.
struct TransferRetry {
  int failures = 0;  // in a row; 0 while stills go through
  std::chrono::steady_clock::time_point next_try;
  std::size_t reported_waiting = 0;   // the count last said ("N stills waiting ")
  bool unavailable_reported = false;  // "transfer folder not available: " said
};

// What the folder thread remembers from one run to the next: the restart of a settings
// command goes on where the last run stopped, so a still saved while a dialog was open is
// taken when it closes, and stills that could not be sent wait on. Used by one run at a time
// (each run joins the one before).
struct FolderMonitorMemory {
  StillArrivals arrivals;
  // Set by "監視停止" (and at first): the next run starts from the stills then present.
  std::atomic<bool> start_over{true};
  // Where each transfer folder lay when first seen; the file-system seam of tests.
  TransferFolderCheck transfer_folders;
  TransferRetry retry;
  std::uint64_t journalled_arrivals = 0;  // StillArrivals::arrivals() when last journalled
};

// The image the folder thread is working on, so a shutdown that waits for it can name it.
class ImageInHand {
 public:
  void Set(std::filesystem::path image);
  void Clear();
  std::optional<std::filesystem::path> Get() const;
  // Whether a run of the folder thread is under way (it ends after the stills in hand).
  void SetRunning(bool running) { running_ = running; }
  bool running() const { return running_; }
  // The image a run left unfinished when its finishing was abandoned; it stays in the watch
  // folder and in the journal.
  void SetLeft(std::optional<std::filesystem::path> image);
  std::optional<std::filesystem::path> Left() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> image_;
  std::optional<std::filesystem::path> left_;
  std::atomic<bool> running_{false};
};

// What the folder thread reads and writes; everything it shares is passed in here.
struct FolderMonitorContext {
  std::function<Settings()> settings;     // a consistent snapshot, taken per look
  std::function<Cp932Text()> capture_id;  // read when stills arrive: the ID may change
  ProgramDir program_dir;
  FolderEvents& events;
  FolderMonitorMemory& memory;
  std::atomic<std::int32_t>& image_count;
  LastErrorText& errors;
  MessageSink& messages;
  TransferPipeline& pipeline;
  // Called after each transferred image with the still (its count, ID and arrival clock) and
  // the target path.
  std::function<void(const ArrivedStill& still, const std::filesystem::path& target)>
      on_transferred;
  FolderMonitorTiming timing;
  ImageInHand* in_hand = nullptr;  // when given, holds each image while it is worked on
  // Called when a watch folder is first looked at, with whether file events cover it.
  std::function<void(const std::filesystem::path& folder, bool events)> on_watching;
  // Called with each still after it was journalled, just before its transfer (the headless
  // run's test hold).
  std::function<void(const ArrivedStill& still)> before_transfer;
  // A second stop: the finishing of a stopped run is abandoned, every wait ends at once.
  std::stop_token abandon;
};

// The folder thread's body. Stills present when monitoring starts are left alone (unless the
// memory goes on from a settings command); every still seen after that is new, taken once,
// oldest first, with the ID, clock and settings of the moment it arrived. File events wake it
// at once; without them the folder is listed every idle period. When `stop` is requested,
// the stills that arrived before it are finished first: one still being written is taken when
// its writer closes it, or, when no close comes within the completeness `max_wait`, once it
// has stopped changing; `in_hand` names the still being worked on (or waited for) until then.
// When `ctx.abandon` is requested too, every wait ends at once and the run ends; the still in
// hand and the rest stay in the watch folder and in the journal (`in_hand` names the one
// left). A still whose
// transfer fails on the writing side (TransferOutcome::retry), or whose transfer folder is
// gone or lies on another file system, waits at the head of the line with what it arrived
// with, and is tried again with a back-off; the stills behind it wait too, so their order
// and serial numbers follow their arrival. A stop leaves such stills for the next run. The
// stills not yet transferred are kept in the journal of the program folder (StillJournal).
void RunFolderMonitor(std::stop_token stop, FolderMonitorContext& ctx);

}  // namespace velmarin
