#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/last_error_text.h"
#include "base/message_sink.h"
#include "dicom/instance_sender.h"
#include "dicom/outbox_journal.h"
#include "settings/program_dir.h"
#include "settings/user_config.h"
#include "transfer/still_arrivals.h"

namespace velmarin {

struct OutboxTiming {
  // A still the PACS did not take for a reason that may pass (down, unreachable, busy) is
  // tried again after `first_retry`, then after twice as long at every failure, at most
  // `last_retry`. A refusal that will not pass looks at velmarin.conf every `last_retry`.
  std::chrono::milliseconds first_retry{2000};
  std::chrono::milliseconds last_retry{60'000};
  std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
};

// Where the outbox stands, for tests that step it.
struct OutboxStatus {
  std::size_t waiting = 0;     // stills not yet sent
  std::uint64_t attempts = 0;  // sends tried
  int failures = 0;            // tries in a row that may succeed later
  bool refused = false;        // waiting for the settings to change
  std::chrono::steady_clock::time_point next_try;
};

struct OutboxSetup {
  std::filesystem::path config_file = UserConfigPath();
  std::unique_ptr<InstanceSender> sender = std::make_unique<DicomInstanceSender>();
  OutboxTiming timing;
  // Called after every change of the status, on the thread that made it.
  std::function<void(const OutboxStatus&)> on_status;
  // Tests only: after each store, the still is held until this file exists, so a test can
  // kill the program between the PACS's answer and the journal's update.
  std::filesystem::path hold_after_store;
};

// What the program's own run uses: velmarin.conf, DCMTK, the real clock, and the hold of
// VELMARIN_TEST_HOLD_AFTER_STORE.
OutboxSetup ProgramOutboxSetup();

// The stills transferred and not yet in the PACS, sent one by one on a thread of their own, in
// the order they were transferred; never in the way of the transfer folder. A station whose
// velmarin.conf names no DICOM destination has none: nothing joins and nothing is sent.
// Each still joins with its own copy of the file and a SOP Instance UID chosen then (named
// after the still), both kept in the journal, so the still sent again after a crash is the
// same instance, and one transferred again after a crash is not sent twice. While the PACS
// cannot be reached, is busy or breaks off, the head of the line is tried again with a
// back-off and the others wait behind it; a refusal that will not pass (an unknown AE title,
// no Secondary Capture) is said once, and the stills wait until the destination in
// velmarin.conf changes. Its texts go to `errors` (the title, the headless line) and `messages`.
class PacsOutbox {
 public:
  PacsOutbox(ProgramDir program_dir, LastErrorText& errors, MessageSink& messages,
             OutboxSetup setup = ProgramOutboxSetup());
  ~PacsOutbox();
  PacsOutbox(const PacsOutbox&) = delete;
  PacsOutbox& operator=(const PacsOutbox&) = delete;

  // Reads velmarin.conf and the journal of the last run, and starts sending when a
  // destination is named.
  void Start();
  // A new monitoring run: the stills from now on make a new series.
  void BeginRun();
  // `still` was just written into the transfer folder as `target`: it joins with the ID and
  // clock it arrived with and its count in the run. Its SOP Instance UID is named after the
  // still itself (its path, inode, birth and creation time and arrival clock), so a still
  // transferred again after a crash (the transfer journal still named it) is the same
  // instance. Called on the folder thread; does not wait for the PACS.
  void Add(const ArrivedStill& still, const std::filesystem::path& target);
  // Ends a send in progress at once and the thread with it; the stills stay in the journal.
  void Stop();
  // Looks again at once whether the back-off has run out (tests step its clock).
  void Wake();

  bool enabled() const { return enabled_.load(); }
  OutboxStatus status() const;

 private:
  void Run();
  // One try of the still at the head; called without the lock.
  void SendHead(const OutboxEntry& head);
  // Reads velmarin.conf again while stills wait; true when the destination changed.
  bool ReloadDestination();
  // The head leaves the outbox; `sent`: it is in the PACS.
  void RemoveHead(bool sent);
  // Whether the instance `sop_uid` waits already or was sent lately.
  bool Holds(const std::string& sop_uid) const;
  void SayWaiting();
  void WriteJournal();
  void Publish();
  OutboxStatus StatusLocked() const;

  const ProgramDir program_dir_;
  LastErrorText& errors_;
  MessageSink& messages_;
  OutboxSetup setup_;
  const OutboxJournal journal_;
  const std::string station_key_;
  const std::string station_name_;
  std::atomic<bool> enabled_{false};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<OutboxEntry> queue_;
  std::deque<std::string> recently_sent_;        // SOP Instance UIDs, the newest last
  std::optional<DicomDestination> destination_;  // nullopt: named, but not usable
  std::string series_uid_;
  std::uint64_t attempts_ = 0;
  int failures_ = 0;
  bool refused_ = false;
  std::chrono::steady_clock::time_point next_try_;
  std::size_t reported_waiting_ = 0;
  // When the last failure was said: the count follows a moment later, so both are seen.
  std::optional<std::chrono::steady_clock::time_point> failure_said_at_;
  bool uncompressed_said_ = false;
  bool journal_failed_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace velmarin
