#include "dicom/pacs_outbox.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <system_error>
#include <vector>

#include "base/atomic_file.h"
#include "base/errno_text.h"
#include "base/message_subject.h"
#include "base/stale_temporaries.h"
#include "dicom/dicom_uids.h"
#include "dicom/peer_reach.h"
#include "dicom/station_identity.h"
#include "platform/encoding.h"

namespace velmarin {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// The waiting count follows a failure's own text after this long, so the window's title and
// the headless line (which look every 100 ms) show both.
constexpr std::chrono::milliseconds kSayPause{250};
// How often a held still looks for the file that lets it go (tests only).
constexpr std::chrono::milliseconds kHoldCheck{20};

constexpr const char* kHoldVariable = "VELMARIN_TEST_HOLD_AFTER_STORE";

// A text of our own about no still in particular, with the system's reason if any.
void SayAboutNoStill(LastErrorText& errors, const std::string& text,
                     const std::string& reason = {}) {
  const ScopedMessageSubject none("");
  errors.Set(Utf8ToCp932Replacing(text), Utf8ToCp932Replacing(reason));
}

std::string WaitingText(std::size_t count) {
  return std::to_string(count) +
         (count == 1 ? " still waiting for the PACS " : " stills waiting for the PACS ");
}

bool ReadWholeFile(const fs::path& file, std::string* bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return false;
  *bytes = std::move(text).str();
  return true;
}

// Removes the copies no entry names (a crash between a copy and the journal) and what a
// killed copy left.
void RemoveUnnamedCopies(const OutboxJournal& journal, const std::vector<OutboxEntry>& entries) {
  std::set<fs::path> named;
  for (const OutboxEntry& entry : entries) named.insert(journal.CopyOf(entry));
  std::error_code ec;
  for (fs::directory_iterator it(journal.folder(), ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path& file = it->path();
    if (file.extension() == ".jpg" && !named.contains(file)) fs::remove(file, ec);
  }
  // Only this program writes there (the program folder's lock): whatever is left is a killed
  // run's, however young.
  RemoveStaleTemporaries(journal.folder(), std::chrono::seconds(0));
}

// The still as it arrived, the same after a crash and a replay of the transfer journal.
std::string InstanceUidFor(const std::string& station_key, const ArrivedStill& still) {
  const LocalTime& clock = still.binding.clock;
  std::string name = "instance\n" + station_key + "\n" + still.path.string();
  for (const long long value :
       {static_cast<long long>(still.identity.inode),
        static_cast<long long>(still.identity.birth_time_ns),
        static_cast<long long>(still.creation_time_ns), static_cast<long long>(clock.year),
        static_cast<long long>(clock.month), static_cast<long long>(clock.day),
        static_cast<long long>(clock.hour), static_cast<long long>(clock.minute),
        static_cast<long long>(clock.second)}) {
    name += "\n" + std::to_string(value);
  }
  return NameBasedDicomUid(name);
}

}  // namespace

OutboxSetup ProgramOutboxSetup() {
  OutboxSetup setup;
  if (const char* hold = std::getenv(kHoldVariable); hold && *hold) setup.hold_after_store = hold;
  return setup;
}

PacsOutbox::PacsOutbox(ProgramDir program_dir, LastErrorText& errors, MessageSink& messages,
                       OutboxSetup setup)
    : program_dir_(std::move(program_dir)),
      errors_(errors),
      messages_(messages),
      setup_(std::move(setup)),
      journal_(program_dir_),
      station_key_(StationKey(program_dir_)),
      station_name_(StationName()) {}

PacsOutbox::~PacsOutbox() { Stop(); }

void PacsOutbox::Start() {
  const UserConfig config = ReadUserConfig(setup_.config_file);
  const auto report = [this](const OwnMessage& message) { messages_.ShowOwnMessage(message); };
  const auto replayed = journal_.Replay(report);
  // The copies of a journal set aside stay for the user.
  if (replayed) RemoveUnnamedCopies(journal_, replayed->waiting);
  OutboxContent content = replayed.value_or(OutboxContent{});
  std::vector<OutboxEntry>& entries = content.waiting;
  if (!config.dicom_named) {
    if (!entries.empty()) {
      const std::string count = std::to_string(entries.size());
      report({count + " stills wait for the PACS in " + journal_.file().string() + ", but " +
                  setup_.config_file.string() +
                  " names no DICOM destination; they are kept until it does",
              "PACS へ送る画像が " + count + " 枚 " + journal_.file().string() +
                  " に残っていますが、" + setup_.config_file.string() +
                  " に DICOM 送信先がありません。送信先が書かれるまで残しておきます。"});
    }
    return;
  }
  std::lock_guard lock(mutex_);
  enabled_ = true;
  destination_ = config.dicom;
  series_uid_ = NewDicomUid();
  queue_.assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
  recently_sent_.assign(content.sent.begin(), content.sent.end());
  thread_ = std::thread([this] { Run(); });
}

void PacsOutbox::BeginRun() {
  std::lock_guard lock(mutex_);
  series_uid_ = NewDicomUid();
}

void PacsOutbox::Add(const ArrivedStill& still, const fs::path& target) {
  if (!enabled_) return;
  const ArrivalBinding& arrival = still.binding;
  OutboxEntry entry;
  entry.target = target;
  entry.facts.patient_id = arrival.capture_id;
  entry.facts.clock = arrival.clock;
  entry.facts.instance_number = still.count;
  entry.facts.study_uid = StudyUidFor(station_key_, arrival.capture_id, arrival.clock);
  entry.facts.sop_uid = InstanceUidFor(station_key_, still);
  {
    std::lock_guard lock(mutex_);
    // Transferred again after a crash: the instance waits already, or is in the PACS.
    if (Holds(entry.facts.sop_uid)) return;
  }
  // The still's own copy: the file in the transfer folder may be replaced (a name without a
  // serial), moved away or on a share that drops before the PACS takes it. Without a copy
  // the still is sent from the transfer folder.
  std::error_code ec;
  fs::create_directories(journal_.folder(), ec);
  CopyFileAtomically(target, journal_.CopyOf(entry), FileSync::kSynced);
  {
    std::lock_guard lock(mutex_);
    entry.facts.series_uid = series_uid_;
    queue_.push_back(std::move(entry));
    WriteJournal();
    Publish();
  }
  wake_.notify_all();
}

void PacsOutbox::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  setup_.sender->Interrupt();
  if (thread_.joinable()) thread_.join();
}

void PacsOutbox::Wake() {
  { std::lock_guard lock(mutex_); }
  wake_.notify_all();
}

OutboxStatus PacsOutbox::status() const {
  std::lock_guard lock(mutex_);
  return StatusLocked();
}

OutboxStatus PacsOutbox::StatusLocked() const {
  return {queue_.size(), attempts_, failures_, refused_, next_try_};
}

void PacsOutbox::Publish() {
  if (setup_.on_status) setup_.on_status(StatusLocked());
}

bool PacsOutbox::Holds(const std::string& sop_uid) const {
  return std::find(recently_sent_.begin(), recently_sent_.end(), sop_uid) != recently_sent_.end() ||
         std::any_of(queue_.begin(), queue_.end(),
                     [&](const OutboxEntry& entry) { return entry.facts.sop_uid == sop_uid; });
}

void PacsOutbox::WriteJournal() {
  const bool written = journal_.Write(
      {{queue_.begin(), queue_.end()}, {recently_sent_.begin(), recently_sent_.end()}});
  if (!written && !journal_failed_) {
    SayAboutNoStill(errors_, "PACS journal write error! ", ErrnoText(errno));
  }
  journal_failed_ = !written;
}

void PacsOutbox::SayWaiting() {
  if (queue_.size() <= reported_waiting_) return;
  SayAboutNoStill(errors_, WaitingText(queue_.size()));
  reported_waiting_ = queue_.size();
}

void PacsOutbox::RemoveHead(bool sent) {
  const fs::path copy = journal_.CopyOf(queue_.front());
  if (sent) {
    recently_sent_.push_back(queue_.front().facts.sop_uid);
    if (recently_sent_.size() > OutboxJournal::kRecentlySent) recently_sent_.pop_front();
  }
  queue_.pop_front();
  WriteJournal();
  // The copy goes only once the journal no longer names it.
  std::error_code ec;
  fs::remove(copy, ec);
  if (reported_waiting_ > 0 && queue_.empty()) {
    SayAboutNoStill(errors_, "all stills sent to the PACS ");
    reported_waiting_ = 0;
  }
}

bool PacsOutbox::ReloadDestination() {
  const UserConfig config = ReadUserConfig(setup_.config_file);
  std::lock_guard lock(mutex_);
  if (config.dicom == destination_) return false;
  destination_ = config.dicom;
  failures_ = 0;
  refused_ = false;
  uncompressed_said_ = false;
  for (const OwnMessage& problem : config.problems) messages_.ShowOwnMessage(problem);
  return true;
}

void PacsOutbox::Run() {
  std::optional<DicomDestination> destination;
  {
    std::lock_guard lock(mutex_);
    destination = destination_;
  }
  // A host that does not resolve is said at once, stills or none.
  if (destination) {
    if (const auto problem = HostResolutionProblem(destination->host)) {
      const std::string file = setup_.config_file.string();
      messages_.ShowOwnMessage(
          {*problem + " (dicom_host in " + file + "); the stills for the PACS wait until it does",
           "PACS のホスト名を引けません: " + *problem + "（" + file +
               " の dicom_host）。引けるようになるまで、PACS へ送る画像は待ちます。"});
    }
  }
  std::unique_lock lock(mutex_);
  while (!stop_) {
    if (queue_.empty()) {
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      continue;
    }
    if (failures_ > 0 || refused_) {
      if (failure_said_at_) {
        const auto since = SteadyClock::now() - *failure_said_at_;
        if (since < kSayPause) {
          wake_.wait_for(lock, kSayPause - since);
          continue;
        }
        failure_said_at_.reset();
      }
      SayWaiting();
      const auto now = setup_.timing.clock();
      if (now < next_try_) {
        wake_.wait_for(lock, next_try_ - now);
        continue;
      }
    }
    const OutboxEntry head = queue_.front();
    lock.unlock();
    SendHead(head);
    lock.lock();
  }
}

void PacsOutbox::SendHead(const OutboxEntry& head) {
  bool looking_again = false;
  {
    std::lock_guard lock(mutex_);
    looking_again = failures_ > 0 || refused_;
  }
  // After a failure the settings may have been mended meanwhile.
  if (looking_again) ReloadDestination();
  std::unique_lock lock(mutex_);
  if (!destination_ || (refused_ && looking_again)) {
    // Nothing can be sent until the destination in velmarin.conf changes.
    refused_ = true;
    next_try_ = setup_.timing.clock() + setup_.timing.last_retry;
    Publish();
    return;
  }
  const DicomDestination destination = *destination_;
  ++attempts_;
  lock.unlock();

  const ScopedMessageSubject subject(head.target.string());
  std::string jpeg;
  if (!ReadWholeFile(journal_.CopyOf(head), &jpeg) && !ReadWholeFile(head.target, &jpeg)) {
    lock.lock();
    errors_.Set(Cp932Text("not sent to the PACS: its file is gone "));
    RemoveHead(false);
    Publish();
    return;
  }
  InstanceFacts facts = head.facts;
  facts.institution = destination.institution;
  facts.station_name = station_name_;
  const DicomOutcome outcome = setup_.sender->Send(destination, facts, jpeg);
  if (outcome.result == DicomResult::kDone && !setup_.hold_after_store.empty()) {
    const std::string hold = setup_.hold_after_store.string();
    messages_.ShowOwnMessage({"stored in the PACS; held before the journal forgets it until " +
                                  hold + " exists (" + kHoldVariable + ")",
                              "PACS に保存しました。" + hold +
                                  " ができるまで記録から消さずに待ちます（" + kHoldVariable +
                                  "）"});
    std::error_code ec;
    lock.lock();
    while (!stop_ && !fs::exists(setup_.hold_after_store, ec)) wake_.wait_for(lock, kHoldCheck);
    lock.unlock();
  }
  lock.lock();
  if (stop_ || outcome.result == DicomResult::kStopped) return;
  switch (outcome.result) {
    case DicomResult::kDone:
      if (outcome.uncompressed && !uncompressed_said_) {
        SayAboutNoStill(errors_, "the PACS takes no JPEG: stills are sent uncompressed ");
        uncompressed_said_ = true;
      }
      if (!outcome.text.empty()) errors_.Set(Utf8ToCp932Replacing("PACS " + outcome.text + " "));
      failures_ = 0;
      refused_ = false;
      RemoveHead(true);
      break;
    case DicomResult::kUnsendable:
      errors_.Set(Utf8ToCp932Replacing("not sent to the PACS: " + outcome.text + " "));
      RemoveHead(false);
      break;
    case DicomResult::kRetry: {
      if (failures_ == 0) {
        SayAboutNoStill(errors_, outcome.text + " ");
        reported_waiting_ = 0;
        failure_said_at_ = SteadyClock::now();
      }
      ++failures_;
      auto pause = setup_.timing.first_retry;
      for (int i = 1; i < failures_ && pause < setup_.timing.last_retry; ++i) pause *= 2;
      next_try_ = setup_.timing.clock() + std::min(pause, setup_.timing.last_retry);
      break;
    }
    case DicomResult::kRefused: {
      const ScopedMessageSubject none("");
      const std::string file = setup_.config_file.string();
      messages_.ShowOwnMessage(
          {outcome.text + "; the stills for the PACS wait until the DICOM destination in " + file +
               " changes",
           "PACS が受け付けません: " + outcome.text + "。" + file +
               " の DICOM 送信先が変わるまで、PACS へ送る画像は待ちます。"});
      failures_ = 0;
      refused_ = true;
      reported_waiting_ = 0;
      failure_said_at_ = SteadyClock::now();
      next_try_ = setup_.timing.clock() + setup_.timing.last_retry;
      break;
    }
    case DicomResult::kStopped:
      break;
  }
  Publish();
}

}  // namespace velmarin
