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
#include "image/capture_processing.h"
#include "image/dib.h"
#include "image/image_result.h"
#include "naming/local_time.h"
#include "naming/transfer_path.h"
#include "platform/folder_events.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "transfer/image_completeness.h"
#include "transfer/still_arrivals.h"
#include "transfer/transfer_folder_check.h"
#include "transfer/transfer_one_image.h"

namespace velmarin {

// Removes what killed runs left in the folders the program writes (RemoveStaleTemporaries):
// the program folder, "bkup", the transfer folder and the folders directly in it (where the
// default template puts each year); in the transfer folders, this station's own temporaries
// (marked `own_mark`) whatever their age. At start-up, before anything is written.
void RemoveStaleTemporariesAtStartUp(const Settings& settings, const ProgramDir& program_dir,
                                     std::string_view own_mark);

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
  // The stills said to wait: 1 by the first failure's own text, then "N stills waiting ".
  std::size_t reported_waiting = 0;
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
  std::uint64_t recorded_changes = 0;     // WatchFolderRecord::changes() when last written
  // Since when the still at the head of the line has been missing with its watch folder
  // gone or replaced; it waits for the folder to come back, for a while.
  std::optional<std::chrono::steady_clock::time_point> folder_away_since;
  // The stills saved while the program was not running, found at start-up (set before the
  // first run): how many have not left the line yet, and how many of them were sent.
  std::size_t stopped_stills_left = 0;
  std::size_t stopped_stills_sent = 0;
  int last_run_sent = 0;  // stills from the journal of the last run sent, not yet said
};

// The image the folder thread is working on, so a shutdown that waits for it can name it.
class ImageInHand {
 public:
  void Set(std::filesystem::path image);
  void Clear();
  std::optional<std::filesystem::path> Get() const;
  // The image a run left unfinished when its finishing was abandoned; it stays in the watch
  // folder and in the journal.
  void SetLeft(std::optional<std::filesystem::path> image);
  std::optional<std::filesystem::path> Left() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> image_;
  std::optional<std::filesystem::path> left_;
};

// A still that went out: the count it took, where it came from, the name it got and the ID
// it was named and stamped with, and the still as it arrived (valid during the call only).
struct TransferredStill {
  int count = 0;
  std::filesystem::path source;
  std::filesystem::path target;
  Cp932Text capture_id;
  const ArrivedStill& arrived;
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
  // Called after each transferred image (its count 0 for a still of the last run).
  std::function<void(const TransferredStill& still)> on_transferred;
  FolderMonitorTiming timing;
  ImageInHand* in_hand = nullptr;  // when given, holds each image while it is worked on
  // Called when a watch folder is first looked at, with whether file events cover it.
  std::function<void(const std::filesystem::path& folder, bool events)> on_watching;
  // Called with each still after it was journalled, just before its transfer (the headless
  // run's test hold).
  std::function<void(const ArrivedStill& still)> before_transfer;
  // A second stop: the finishing of a stopped run is abandoned, every wait ends at once.
  std::stop_token abandon;
  // Called when a still is given up (it failed for a reason of its own and is not tried
  // again), after its failure was set in `errors`.
  std::function<void(const std::filesystem::path& source)> on_failed = {};
  // Called with the number of stills waiting behind a failure on the writing side whenever
  // it is said ("N stills waiting "), and with 0 once they have all gone.
  std::function<void(std::size_t waiting)> on_waiting = {};
  // Called with each still whose image took its name on the share, before the journal
  // forgets it (the headless run's test hold).
  std::function<void(const ArrivedStill& still)> after_claim = {};
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
